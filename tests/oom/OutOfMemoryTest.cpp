// Running out of memory is an error, not a crash. This executable replaces the global operator
// new and installs the engine's allocation gate (FreeType, pugixml, layers), so every allocation
// of a load, edit, render and save sequence is counted, and the sweep makes the Nth one fail for
// N = 1, 2, ... Whatever N is, every operation either succeeds or returns E_OUTOFMEMORY or E_FAIL,
// nothing crashes, and the title afterwards still renders, saves and loads back. Leaks show up
// when the suite runs under LeakSanitizer (make sanitize).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/DebugOutput.h"
#include "persist/XmlDom.h"
#include "platform/AllocationGate.h"
#include "qel/QEL_Title2.h"

#if defined(__GNUC__) && !defined(__clang__)
// The replacements below pair operator new with malloc and operator delete with free themselves;
// the inliner cannot see that and warns about each delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// The allocation counter shared by operator new and the gate. Counting (and failing) happens only
// while armed, on any thread: the worker threads of Render count too.
std::atomic<bool> gArmed{false};
std::atomic<int64_t> gCount{0};
std::atomic<int64_t> gFailAt{0};  // 1-based index of the allocation to refuse; 0: refuse none

// Every refusal passes here: a debugger breakpoint on it shows where a failing N allocates.
[[gnu::noinline]] bool Refuse() noexcept {
    asm volatile("");
    return false;
}

bool Allow(size_t) noexcept {
    if (!gArmed.load(std::memory_order_relaxed)) return true;
    if (gCount.fetch_add(1, std::memory_order_relaxed) + 1 != gFailAt.load(std::memory_order_relaxed)) return true;
    return Refuse();
}

void* Allocate(size_t size) noexcept { return Allow(size) ? std::malloc(size ? size : 1) : nullptr; }

}  // namespace

void* operator new(size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace qel {
namespace {

constexpr int32_t kWidth = 320, kHeight = 180;

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<ITitleHost, HostDeleter>;

// Counts (and fails) allocations while alive.
class Armed {
public:
    explicit Armed(int64_t failAt) {
        gCount = 0;
        gFailAt = failAt;
        gArmed = true;
    }
    ~Armed() { gArmed = false; }
};

RenderSettings Settings(ITitleHost& host) {
    RenderSettings rs{};
    (void)host.GetRenderSettings(&rs);
    rs.Width = kWidth;
    rs.Height = kHeight;
    rs.ScaleX = rs.ScaleY = 0.25f;
    rs.ClipRect = {0, 0, kWidth, kHeight};
    // One drawing thread: the sweep refuses the same allocation on every run. (With helper
    // threads the Nth allocation falls on a different thread from run to run.)
    rs.MaxThreads = 1;
    return rs;
}

PathValue Path(const char* id, float progress) {
    PathValue v{};
    std::strncpy(v.PathID, id, sizeof v.PathID - 1);
    v.PathProgress = progress;
    return v;
}

std::u16string Save(ITitleHost& host) {
    uint32_t size = 0;
    if (host.SaveTitleToBuffer(nullptr, &size) != S_OK) return {};
    std::vector<char16_t> text(size / 2 + 1);
    if (host.SaveTitleToBuffer(text.data(), &size) != S_OK) return {};
    return std::u16string(text.data());
}

// A title that takes every part of the engine: two fonts (one linked in for a CJK character),
// a gradient face, a border and a blurred shadow, and an effect on key frames.
std::u16string SampleTitle() {
    HostPtr host(GetTitleHost());
    const RenderSettings rs = Settings(*host);
    EXPECT_EQ(host->SetRenderSettings(&rs), S_OK);
    MetaFace face{1, 0x2080FF, 0xFF8020, 1, 255, 0};
    MetaBorder border{1, 4, 0x101010, 0x101010, 0, 255, 0};
    MetaShadow shadow{1, 1, 0, 0, 0, 128, 2, 6.0f, 6.0f, 0};
    EXPECT_EQ(host->SetDefaultFace(&face), S_OK);
    EXPECT_EQ(host->SetDefaultBorder(&border), S_OK);
    EXPECT_EQ(host->SetDefaultShadow(&shadow), S_OK);
    EXPECT_EQ(host->AddString(), 0);
    EXPECT_GT(host->InsertText(0, 0, u"Title\r\n\u6F22 two"), 0);
    const PathValue in = Path("PATH_SLIDEUP", 0), rest = Path("PATH_SLIDEUP", 1);
    EXPECT_EQ(host->SetKeyFrame(0, 0.0f, &in), S_OK);
    EXPECT_EQ(host->SetKeyFrame(0, 1.0f, &rest), S_OK);
    const std::u16string saved = Save(*host);
    EXPECT_FALSE(saved.empty());
    return saved;
}

bool IsDocumentedFailure(HRESULT hr) { return hr == E_OUTOFMEMORY || hr == E_FAIL; }

// One run of the sequence with the failAt-th allocation refused (0: none). Returns the number of
// allocations the sequence made. Every step's status must be success or a documented failure;
// afterwards the title must render, save and load back.
int64_t RunSequence(const std::u16string& title, int64_t failAt) {
    SCOPED_TRACE("allocation " + std::to_string(failAt) + " refused");
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0x40);
    // Nothing of the test's own may allocate while armed: room for the statuses and the saved
    // text is made beforehand.
    std::vector<HRESULT> statuses;
    statuses.reserve(16);
    std::vector<char16_t> savedText(size_t{1} << 16);
    HostPtr host;
    int64_t count = 0;
    {
        Armed armed(failAt);
        host.reset(GetTitleHost());
        if (host) {
            const RenderSettings rs = Settings(*host);
            statuses.push_back(host->SetRenderSettings(&rs));
            statuses.push_back(host->LoadTitleFromBuffer(title.c_str()));
            const int32_t row = host->AddString();
            if (row >= 0) {
                // A failed insertion leaves the string empty, and the range then invalid.
                if (host->InsertText(row, 0, u"New \u00FF\u6F22 text") > 0)
                    statuses.push_back(host->ApplyBorder(row, 0, 3));
                const PathValue wipe = Path("PATH_WIPERIGHT", 0.5f);
                statuses.push_back(host->SetKeyFrame(row, 0.5f, &wipe));
            }
            statuses.push_back(host->Render(frame.data(), 0.5f));
            statuses.push_back(host->Render(frame.data(), 1.0f));
            statuses.push_back(host->Render(frame.data(), 1.0f));  // from the still-frame cache
            host->DeleteText(0, 0, 2);
            statuses.push_back(host->Render(frame.data(), 0.25f));
            uint32_t size = 0;
            statuses.push_back(host->SaveTitleToBuffer(nullptr, &size));
            if (size <= savedText.size() * 2) statuses.push_back(host->SaveTitleToBuffer(savedText.data(), &size));
        }
        count = gCount;
    }
    for (size_t i = 0; i < statuses.size(); ++i)
        EXPECT_TRUE(statuses[i] == S_OK || IsDocumentedFailure(statuses[i])) << "step " << i << ": " << std::hex
                                                                             << statuses[i];
    if (!host) return count;

    // Still usable: it edits, renders and saves, what it saves loads back, and it draws what a
    // fresh load of that draws (no character left blank by a refused image, no stale cache).
    EXPECT_EQ(host->Render(frame.data(), 0.5f), S_OK);
    const int32_t row = host->AddString();
    EXPECT_GE(row, 0);
    EXPECT_GT(host->InsertText(row, 0, u"again"), 0);
    std::fill(frame.begin(), frame.end(), uint8_t{0x40});
    EXPECT_EQ(host->Render(frame.data(), 0.75f), S_OK);
    const std::u16string saved = Save(*host);
    EXPECT_FALSE(saved.empty());
    HostPtr reloaded(GetTitleHost());
    const RenderSettings rs = Settings(*reloaded);
    EXPECT_EQ(reloaded->SetRenderSettings(&rs), S_OK);
    EXPECT_EQ(reloaded->LoadTitleFromBuffer(saved.c_str()), S_OK);
    EXPECT_EQ(reloaded->GetStringCount(), host->GetStringCount());
    std::vector<uint8_t> fresh(frame.size(), 0x40);
    EXPECT_EQ(reloaded->Render(fresh.data(), 0.75f), S_OK);
    EXPECT_TRUE(fresh == frame) << "the surviving title draws differently from its reloaded copy";
    return count;
}

class OutOfMemory : public ::testing::Test {
protected:
    void SetUp() override {
        SetDebugSink([](std::string_view) {});  // every refused load or save writes a line
        SetAllocationGate(Allow);
        RouteXmlAllocationsThroughGate(true);
    }
    void TearDown() override {
        RouteXmlAllocationsThroughGate(false);
        SetAllocationGate(nullptr);
        SetDebugSink(nullptr);
    }
};

TEST_F(OutOfMemory, EveryAllocationOfASequenceMayFail) {
    const std::u16string title = SampleTitle();
    RunSequence(title, 0);  // warms the process-wide caches (font matches, outline kernels)
    const int64_t total = RunSequence(title, 0);
    ASSERT_GT(total, 100);
    std::printf("the sequence makes %lld allocations\n", static_cast<long long>(total));
    // Every allocation among the first ones (construction, the load, the first edits), then a fixed
    // stride through the rest, which keeps the sweep to a few hundred runs.
    constexpr int64_t kEvery = 400;
    const int64_t stride = std::max<int64_t>(1, (total - kEvery) / 300);
    // QEL_OOM_FROM=N starts the sweep at N, to look at one failure.
    const char* from = std::getenv("QEL_OOM_FROM");
    for (int64_t n = from ? std::atoll(from) : 1; n <= total; n += n < kEvery ? 1 : stride) {
        RunSequence(title, n);
        if (HasFailure()) break;  // the first N that breaks is the one to look at
    }
}

}  // namespace
}  // namespace qel
