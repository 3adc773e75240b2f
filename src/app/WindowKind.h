#pragma once

#include <optional>
#include <string_view>

// The windows the tray menu opens, and the words that name them on the command line ("--open")
// and in a request to the running copy ("open").
enum class WindowKind { Editor, Options, Explorer, History, Restore };
inline constexpr int WindowKinds = 5;

std::string_view windowWord(WindowKind kind);
std::optional<WindowKind> windowFromWord(std::string_view word);
