#include "library/starter/starter_set.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "library/filter_file.h"

namespace {

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool ParseInt(const std::string& token, int32_t* value) {
    if (token.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(token.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

// An entry being read: its rows until the next name or the end.
struct Pending {
    StarterKernel kernel{};
    std::vector<std::vector<int32_t>> rows;
    int line = 0;
};

bool Finish(Pending& p, std::vector<StarterKernel>* kernels, std::string* error) {
    const int k = static_cast<int>(p.rows.size());
    if (!IsKernelSize(k)) {
        *error = "line " + std::to_string(p.line) + ": \"" + p.kernel.name + "\" has " + std::to_string(k) +
                 " rows; a block is 3, 5, 7 or 9 rows";
        return false;
    }
    std::vector<int32_t> block;
    for (int r = 0; r < k; ++r) {
        if (static_cast<int>(p.rows[r].size()) != k) {
            *error = "line " + std::to_string(p.line) + ": row " + std::to_string(r + 1) + " of \"" + p.kernel.name +
                     "\" has " + std::to_string(p.rows[r].size()) + " weights, not " + std::to_string(k);
            return false;
        }
        block.insert(block.end(), p.rows[r].begin(), p.rows[r].end());
    }
    PlaceKernel(block.data(), k, p.kernel.record.weights);
    p.kernel.record.kernelSize = k;
    kernels->push_back(p.kernel);
    return true;
}

}  // namespace

bool ParseStarterTable(std::FILE* table, std::vector<StarterKernel>* kernels, std::string* error) {
    kernels->clear();
    Pending pending;
    bool open = false;
    char buffer[1024];
    for (int line = 1; std::fgets(buffer, sizeof buffer, table); ++line) {
        const std::string text = Trim(buffer);
        if (text.empty() || text[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            *error = "line " + std::to_string(line) + ": " + why;
            return false;
        };
        if (text.front() == '[') {
            if (text.back() != ']' || text.size() < 3) return fail("a name goes between [ and ]");
            if (open && !Finish(pending, kernels, error)) return false;
            pending = Pending{};
            pending.kernel.name = text.substr(1, text.size() - 2);
            pending.kernel.record.divide = 1;
            pending.line = line;
            open = true;
            continue;
        }
        if (!open) return fail("a kernel's name in brackets comes first");
        std::istringstream words(text);
        std::string first;
        words >> first;
        int32_t* field = first == "divide" ? &pending.kernel.record.divide
                         : first == "offset" ? &pending.kernel.record.offset
                         : first == "invert" ? &pending.kernel.record.invert
                                             : nullptr;
        if (field) {
            std::string value, extra;
            words >> value;
            if (!ParseInt(value, field) || (words >> extra)) return fail(first + " takes one whole number");
            if (!pending.rows.empty()) return fail(first + " goes before the rows");
            continue;
        }
        std::vector<int32_t> row;
        std::istringstream tokens(text);
        for (std::string token; tokens >> token;) {
            int32_t w = 0;
            if (!ParseInt(token, &w)) return fail("\"" + token + "\" is not a weight");
            row.push_back(w);
        }
        pending.rows.push_back(row);
    }
    if (open && !Finish(pending, kernels, error)) return false;
    if (kernels->empty()) {
        *error = "the table holds no kernel";
        return false;
    }
    return true;
}

bool WriteStarterSet(const std::vector<StarterKernel>& kernels, const char* path, std::string* error) {
    for (const StarterKernel& k : kernels) {
        if (AppendFilterEntry(path, k.name.c_str(), &k.record) != FilterFileStatus::kOk) {
            *error = "the library file refused \"" + k.name + "\"";
            return false;
        }
    }
    return true;
}
