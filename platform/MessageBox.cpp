#include "platform/MessageBox.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <vector>

namespace velmora {

namespace {

constexpr size_t kMinimumInnerWidth = 8;

// Control characters could move the cursor or recolour the terminal; only line breaks survive.
std::string printable(const std::string& text, bool keepLineBreaks) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      result += keepLineBreaks ? '\n' : ' ';
    } else if (text[i] == '\t') {
      result += ' ';
    } else if (byte < 0x20 || byte == 0x7F) {
      result += '?';
    } else {
      result += text[i];
    }
  }
  return result;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Columns taken on the terminal, counting each UTF-8 sequence as one.
size_t displayWidth(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// +- caption ------+
// | first line     |
// | second line    |
// +----------------+
std::string frame(const std::string& text, const std::string& caption) {
  const std::vector<std::string> lines = splitLines(printable(text, true));
  const std::string title = printable(caption, false);
  size_t inner = std::max(kMinimumInnerWidth, displayWidth(title) + 3);
  for (const std::string& line : lines) inner = std::max(inner, displayWidth(line) + 2);
  std::string box = "+- " + title + " " + std::string(inner - displayWidth(title) - 3, '-') + "+\n";
  for (const std::string& line : lines)
    box += "| " + line + std::string(inner - displayWidth(line) - 2, ' ') + " |\n";
  box += "+" + std::string(inner, '-') + "+\n";
  return box;
}

}  // namespace

void showMessageBox(const std::string& text, const std::string& caption) {
  const std::string box = frame(text, caption);
  if (::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1) {
    // Starts on a line of its own: the program's last output may not have ended its line.
    std::cout << '\n' << box << "Press Enter to continue." << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) std::cin.clear();
    return;
  }
  std::cerr << box << std::flush;
}

}  // namespace velmora
