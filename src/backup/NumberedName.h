#pragma once

#include <string>

// The n-th name of its kind when the name itself is taken: "report.txt" becomes
// "report (2).txt"; a folder, or a name without an extension such as ".profile", gets the
// number at its end ("Documents (2)").
std::string numberedName(const std::string& name, int n, bool isFolder);
