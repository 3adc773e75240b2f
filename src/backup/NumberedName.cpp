#include "NumberedName.h"

std::string numberedName(const std::string& name, int n, bool isFolder) {
    const size_t slash = name.rfind('/');
    const size_t dot = isFolder ? std::string::npos : name.rfind('.');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const size_t cut = dot != std::string::npos && dot > base ? dot : name.size();
    return name.substr(0, cut) + " (" + std::to_string(n) + ")" + name.substr(cut);
}
