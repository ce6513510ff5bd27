#include "minihost/files/written_record.h"

#include <cstdio>
#include <cstring>

void WrittenRecord::Add(const std::string& path) {
    const size_t gap = used_ ? 2 : 0;
    if (named_ == count_ && used_ + gap + path.size() < sizeof names_) {
        std::memcpy(names_ + used_, ", ", gap);
        std::memcpy(names_ + used_ + gap, path.data(), path.size());
        used_ += gap + path.size();
        names_[used_] = '\0';
        ++named_;
    }
    files_.push_back(path);
    count_ = files_.size();
}

void WrittenRecord::Say(char* out, size_t size) const {
    const unsigned long n = count_;
    if (n == 0) {
        std::snprintf(out, size, "nothing was written");
        return;
    }
    char head[48], tail[64];
    if (n == 1) std::snprintf(head, sizeof head, "wrote ");
    else std::snprintf(head, sizeof head, "wrote %lu files: ", n);
    if (named_ >= n) std::snprintf(tail, sizeof tail, ", nothing else");
    else std::snprintf(tail, sizeof tail, "%s... (%lu files in all), nothing else", named_ ? ", " : "", n);
    std::snprintf(out, size, "%s%s%s", head, names_, tail);
}

std::string CommittedList(const std::vector<std::string>& files) {
    if (files.empty()) return "nothing was written";
    std::string said = files.size() == 1 ? "wrote " + files[0] : "wrote " + std::to_string(files.size()) + " files: ";
    for (size_t i = 0; files.size() > 1 && i < files.size(); ++i) said += (i ? ", " : "") + files[i];
    return said + ", nothing else";
}
