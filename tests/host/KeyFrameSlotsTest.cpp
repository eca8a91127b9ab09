// Key frames and time through slots 50-56, and the layout dump of slot 49.
#include <cmath>
#include <functional>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "TestHost.h"
#include "base/DebugOutput.h"

namespace qel::test {
namespace {

PathValue Path(const char* id, float progress) {
    PathValue v{};
    std::strncpy(v.PathID, id, sizeof v.PathID - 1);
    v.PathProgress = progress;
    return v;
}

bool Zeroed(const PathValue& v) {
    static const PathValue zero{};
    return std::memcmp(&v, &zero, sizeof v) == 0;
}

// Writes garbage over a getter's outputs so that a missing write shows.
void Scribble(float* key, PathValue* value) {
    *key = 42;
    std::memset(value, 0x5a, sizeof *value);
}

TEST(KeyFrameSlots, KeysOutsideZeroToOneAreRejected) {
    Host h;
    h->AddString();
    const PathValue v = Path("PATH_FADE", 0.5f);
    const float bad[] = {1.5f, -0.1f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    for (float key : bad) {
        EXPECT_EQ(h->SetKeyFrame(0, key, &v), E_INVALIDARG) << key;
        EXPECT_EQ(h->RemoveKeyFrame(0, key), E_INVALIDARG) << key;
        EXPECT_EQ(h->SetTime(0, key), E_INVALIDARG) << key;
    }
    EXPECT_EQ(h->SetKeyFrame(0, 0.5f, nullptr), E_INVALIDARG);
    EXPECT_EQ(h->SetKeyFrame(1, 0.5f, &v), E_INVALIDARG);
    EXPECT_EQ(h->GetKeyFrameCount(0), 0);
    EXPECT_EQ(h->SetKeyFrame(0, 0.5f, &v), S_OK);
    EXPECT_EQ(h->SetKeyFrame(0, 0.5f, &v), S_OK);
    EXPECT_EQ(h->GetKeyFrameCount(0), 1);
    EXPECT_EQ(h->RemoveKeyFrame(0, 0.25f), S_OK);  // nothing there: success all the same
    EXPECT_EQ(h->GetKeyFrameCount(0), 1);
}

TEST(KeyFrameSlots, EnumerationInAscendingOrder) {
    Host h;
    h->AddString();
    float key;
    PathValue v;
    Scribble(&key, &v);
    EXPECT_EQ(h->GetFirstKeyFrame(0, &key, &v), E_FAIL);
    EXPECT_EQ(key, 0.0f);
    EXPECT_TRUE(Zeroed(v));
    EXPECT_EQ(h->GetFirstKeyFrame(0, nullptr, &v), E_INVALIDARG);
    EXPECT_EQ(h->GetNextKeyFrame(0, &key, nullptr), E_INVALIDARG);

    const PathValue values[] = {Path("PATH_C", 0.6f), Path("PATH_A", 0.2f), Path("PATH_B", 0.4f)};
    for (const PathValue& pv : values) h->SetKeyFrame(0, pv.PathProgress, &pv);
    const char* order[] = {"PATH_A", "PATH_B", "PATH_C"};
    ASSERT_EQ(h->GetFirstKeyFrame(0, &key, &v), S_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(v.PathID, order[i]);
        EXPECT_EQ(key, v.PathProgress);
        Scribble(&key, &v);
        EXPECT_EQ(h->GetNextKeyFrame(0, &key, &v), i < 2 ? S_OK : E_FAIL);
    }
    EXPECT_EQ(key, 0.0f);
    EXPECT_TRUE(Zeroed(v));
    EXPECT_EQ(h->GetNextKeyFrame(0, &key, &v), E_FAIL);  // stays at the end
}

TEST(KeyFrameSlots, CursorWithoutAnEntryFails) {
    struct Case {
        const char* what;
        std::function<void(TitleHost&)> prepare;
    };
    const Case cases[] = {
        {"never placed", [](TitleHost&) {}},
        {"entry removed", [](TitleHost& t) { float k; PathValue v; t.GetFirstKeyFrame(0, &k, &v); t.RemoveKeyFrame(0, 0.2f); }},
        {"cleared", [](TitleHost& t) { float k; PathValue v; t.GetFirstKeyFrame(0, &k, &v); t.ClearKeyFrames(0); }},
        {"string cleared", [](TitleHost& t) { float k; PathValue v; t.GetFirstKeyFrame(0, &k, &v); t.ClearString(0); }},
    };
    for (const Case& c : cases) {
        Host h;
        h->AddString();
        const PathValue a = Path("PATH_A", 0), b = Path("PATH_B", 0);
        h->SetKeyFrame(0, 0.2f, &a);
        h->SetKeyFrame(0, 0.6f, &b);
        c.prepare(*h);
        float key;
        PathValue v;
        Scribble(&key, &v);
        EXPECT_EQ(h->GetNextKeyFrame(0, &key, &v), E_FAIL) << c.what;
        EXPECT_EQ(key, 0.0f) << c.what;
        EXPECT_TRUE(Zeroed(v)) << c.what;
    }
}

TEST(KeyFrameSlots, SetTimeEvaluatesAndMovesTheCursor) {
    Host h;
    h->AddString();
    const PathValue a = Path("PATH_FADE", 0.0f), b = Path("PATH_FADE", 1.0f), c = Path("PATH_NOEFFECT", 0.0f);
    h->SetKeyFrame(0, 0.2f, &a);
    h->SetKeyFrame(0, 0.6f, &b);
    h->SetKeyFrame(0, 0.8f, &c);

    StringAttrs attrs{};
    EXPECT_EQ(h->SetTime(0, 0.4f), S_OK);
    h->GetStringAttrs(0, &attrs);
    EXPECT_STREQ(attrs.PathID, "PATH_FADE");
    EXPECT_NEAR(attrs.PathProgress, 0.5f, 1e-6f);

    // Between keys the cursor rests on the later one.
    h->SetTime(0, 0.3f);
    float key;
    PathValue v;
    ASSERT_EQ(h->GetNextKeyFrame(0, &key, &v), S_OK);
    EXPECT_EQ(key, 0.8f);
}

// ---- the layout dump ----

class DumpCapture {
public:
    DumpCapture() {
        previous_ = SetDebugSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~DumpCapture() { SetDebugSink(std::move(previous_)); }
    std::vector<std::string> lines;

private:
    DebugSink previous_;
};

TEST(DumpLayout, WritesEveryRecordInItsFormat) {
    Host h;
    h->AddString();
    h->AddString();
    MetaString& s = h.String(1);
    // Records with known values, written directly: the dump prints them as they are.
    MetaCharacter a;
    a.Value = 65;
    a.Left = 1.5f;
    a.Top = 2;
    a.Width = 10.25f;
    a.Height = 20;
    a.Spacing = -1;
    a.FaceIndex = 3;
    MetaCharacter cr = a;
    cr.Value = 13;
    cr.LineIndex = 0;
    cr.ShadowIndex = 2;
    s.chars = {a, cr};
    s.lines = {MetaLine{0.5f, 0, 30, 40, 0, 1, 0}};
    MetaParagraph p;
    p.Top = 7;
    p.Width = 30;
    p.Height = 40;
    p.Align = 6;
    p.LineSpace = 1;
    p.BeforeSpace = 2;
    p.AfterSpace = 3;
    p.LeftIndent = 4;
    p.RightIndent = 5.5f;
    s.paragraphs = {p};

    DumpCapture capture;
    EXPECT_EQ(h->DumpLayout(1), S_OK);
    ASSERT_EQ(capture.lines.size(), 8u);
    int t = 0;
    ASSERT_EQ(std::sscanf(capture.lines[0].c_str(), "==[Time: %d]", &t), 1);
    const std::string time = std::to_string(t);
    const std::string rule(81, '-');
    const std::string expected[] = {
        "==[Time: " + time + "] Begin=========================================================",
        "[String 1] Char 0: ch = 65, rect = (1.500000, 2.000000, 10.250000, 20.000000), spacing = -1.000000, "
        "Line = 0, Font = 0, Face = 3, Border = 0, Shadow = 0",
        "[String 1] Char 1: ch = 13, rect = (1.500000, 2.000000, 10.250000, 20.000000), spacing = -1.000000, "
        "Line = 0, Font = 0, Face = 3, Border = 0, Shadow = 2",
        rule,
        "[String 1] Line 0: rect = (0.500000, 0.000000, 30.000000, 40.000000), Char[0 - 1], Paragraph = 0",
        rule,
        "[String 1] Paragraph 0: rect = (0.000000, 7.000000, 30.000000, 40.000000), Line[0 - 0], Align = 6, "
        "LineSpace = 1.000000, Before = 2.000000, After = 3.000000, Left = 4.000000, Right = 5.500000",
        "==[Time: " + time + "] End===========================================================",
    };
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(capture.lines[i], expected[i]) << i;

    capture.lines.clear();
    EXPECT_EQ(h->DumpLayout(2), E_INVALIDARG);
    EXPECT_EQ(h->DumpLayout(-1), E_INVALIDARG);
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(h->DumpLayout(0), S_OK);  // an empty string: the frame lines only
    ASSERT_EQ(capture.lines.size(), 4u);
    EXPECT_EQ(capture.lines[3].substr(0, 9), "==[Time: ");
    EXPECT_NE(capture.lines[3].find("] End====="), std::string::npos);
}

}  // namespace
}  // namespace qel::test
