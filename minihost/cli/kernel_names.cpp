#include "minihost/cli/kernel_names.h"

#include <windows.h>

#include <algorithm>

#include "minihost/files/unicode.h"
#include "minihost/formats/kernel_text.h"

namespace {

constexpr size_t kMostNamed = 4;

std::wstring Folded(const std::string& ansi) {
    std::wstring text = Utf16(FromAnsi(ansi));
    if (!text.empty()) CharLowerBuffW(&text[0], DWORD(text.size()));
    return text;
}

// Letters inserted, dropped or changed to make one from the other; more
// than limit counts as limit + 1.
size_t EditDistance(const std::wstring& a, const std::wstring& b, size_t limit) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
    std::vector<size_t> row(b.size() + 1), next(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        next[0] = i;
        for (size_t j = 1; j <= b.size(); ++j)
            next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] != b[j - 1])});
        row.swap(next);
    }
    return std::min(row[b.size()], limit + 1);
}

}  // namespace

std::string NearNames(const std::vector<NamedKernel>& kernels, const std::string& typed) {
    const std::wstring want = Folded(typed);
    if (want.empty()) return {};
    // Each entry's distance: 0 for the same but for case, then spellings up
    // to a quarter of the name off, then names that begin with what was typed.
    const size_t limit = std::max<size_t>(1, want.size() / 4), prefix = limit + 1, none = limit + 2;
    std::vector<size_t> distance(kernels.size(), none);
    size_t best = none;
    for (size_t i = 0; i < kernels.size(); ++i) {
        const std::string& raw = kernels[i].name;
        // A name that cannot be picked, or far too short to be near.
        if (kernels[i].firstOfName >= 0 || raw.size() + limit < want.size()) continue;
        // At most two bytes a character in an ANSI code page: this much
        // holds any name near in length, and the start of any longer one.
        const std::wstring name = Folded(raw.substr(0, 2 * (want.size() + limit) + 1));
        const size_t d = EditDistance(want, name, limit);
        distance[i] = d <= limit ? d : name.compare(0, want.size(), want) == 0 ? prefix : none;
        best = std::min(best, distance[i]);
    }
    std::vector<std::string> named;
    for (size_t i = 0; i < kernels.size() && best < none; ++i)
        if (distance[i] == best) named.push_back("'" + Printable(FromAnsi(kernels[i].name)) + "'");
    if (named.empty()) return {};
    if (named.size() > kMostNamed) named.resize(kMostNamed), named.back() = "another";
    std::string text = " did you mean " + named[0];
    for (size_t i = 1; i < named.size(); ++i) text += (i + 1 == named.size() ? " or " : ", ") + named[i];
    return text + "?";
}
