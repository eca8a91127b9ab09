#include "authoring/LineBreak.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>

#include <map>
#include <memory>

namespace qeltitle {

namespace {

// Making an iterator loads its rules; one per language and thread is kept for the next text.
icu::BreakIterator* LineIterator(const std::string& language) {
    thread_local std::map<std::string, std::unique_ptr<icu::BreakIterator>> iterators;
    auto found = iterators.find(language);
    if (found != iterators.end()) return found->second.get();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = language.empty() ? icu::Locale::getRoot() : icu::Locale::forLanguageTag(language, status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        locale = icu::Locale::getRoot();
    }
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createLineInstance(locale, status));
    if (U_FAILURE(status)) it.reset();
    return iterators.emplace(language, std::move(it)).first->second.get();
}

bool IsHangul(char16_t c) {
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F);
}

}  // namespace

bool IsLanguageTag(const std::string& tag) {
    if (tag.empty() || tag.size() > 64) return false;
    UErrorCode status = U_ZERO_ERROR;
    int32_t parsed = 0;
    const icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
    // Strict parsing: the whole tag must be read, and name a language.
    char buffer[80];
    uloc_forLanguageTag(tag.c_str(), buffer, sizeof buffer, &parsed, &status);
    // ... and a language ICU knows ("xx" is well-formed but names none).
    return U_SUCCESS(status) && parsed == static_cast<int32_t>(tag.size()) && *locale.getLanguage() != '\0' &&
           *locale.getISO3Language() != '\0';
}

bool IsBreakSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000'; }

std::vector<BreakOpportunity> LineBreakOpportunities(std::u16string_view text, const std::string& language) {
    std::vector<BreakOpportunity> out;
    icu::BreakIterator* it = LineIterator(language);
    if (!it) {
        // Without ICU's data: after every run of spaces, as plain word wrapping does.
        for (size_t i = 1; i < text.size(); ++i)
            if (IsBreakSpace(text[i - 1]) && !IsBreakSpace(text[i])) out.push_back({i, false});
        out.push_back({text.size(), true});
        return out;
    }
    const icu::UnicodeString u(false, text.data(), static_cast<int32_t>(text.size()));
    it->setText(u);
    for (int32_t at = it->next(); at != icu::BreakIterator::DONE; at = it->next()) {
        const size_t i = static_cast<size_t>(at);
        // Korean is broken between words, at its spaces, not between the syllables of a word.
        if (i > 0 && i < text.size() && IsHangul(text[i - 1]) && IsHangul(text[i])) continue;
        out.push_back({i, it->getRuleStatus() >= UBRK_LINE_HARD});
    }
    // The iterator keeps a pointer to `u`: give it a text of its own again before `u` goes.
    it->setText(icu::UnicodeString());
    if (out.empty() || out.back().at != text.size()) out.push_back({text.size(), true});
    return out;
}

std::vector<size_t> FillLines(std::u16string_view text, const std::vector<float>& advances, float width,
                              const std::vector<BreakOpportunity>& breaks) {
    std::vector<double> before(text.size() + 1, 0.0);
    for (size_t i = 0; i < text.size(); ++i) before[i + 1] = before[i] + (i < advances.size() ? advances[i] : 0.0f);
    // Width of [start, end) without the spaces it ends with.
    const auto lineWidth = [&](size_t start, size_t end) {
        while (end > start && IsBreakSpace(text[end - 1])) --end;
        return before[end] - before[start];
    };
    std::vector<size_t> starts;
    size_t lineStart = 0, fits = 0;  // fits: the last opportunity the current line may end at (0: none)
    for (const BreakOpportunity& b : breaks) {
        if (b.at <= lineStart) continue;
        if (lineWidth(lineStart, b.at) > width) {
            if (fits > lineStart) {
                // The line ends at the last break that fitted; what follows starts the next.
                starts.push_back(fits);
                lineStart = fits;
            }
            if (lineWidth(lineStart, b.at) > width && b.at < text.size() && !b.hard) {
                // A piece longer than a line keeps a line of its own.
                starts.push_back(b.at);
                lineStart = b.at;
            }
        }
        fits = b.at;
        if (b.hard) lineStart = b.at;  // the text breaks here itself
    }
    return starts;
}

std::u16string InsertLineBreaks(std::u16string_view text, const std::vector<size_t>& starts,
                                std::vector<size_t>* mapOut) {
    std::u16string out;
    out.reserve(text.size() + 2 * starts.size());
    if (mapOut) mapOut->assign(text.size() + 1, 0);
    size_t next = 0;  // index into starts
    size_t i = 0;
    while (i <= text.size()) {
        if (next < starts.size() && starts[next] == i) {
            // Drop the spaces that ended the line, then break.
            size_t keep = out.size();
            size_t k = i;
            while (k > 0 && IsBreakSpace(text[k - 1]) && keep > 0 && out[keep - 1] == text[k - 1]) --k, --keep;
            out.resize(keep);
            if (mapOut)
                for (size_t j = k; j < i; ++j) (*mapOut)[j] = keep;
            out += u"\r\n";
            ++next;
        }
        if (mapOut) (*mapOut)[i] = out.size();
        if (i == text.size()) break;
        out += text[i];
        ++i;
    }
    return out;
}

}  // namespace qeltitle
