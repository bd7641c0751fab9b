// JSON strings, the aligned table, buffered output and the progress line.
#include "tools/velmora/TextOutput.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace velmora {

int utf8SequenceLength(std::string_view bytes) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return 1;
  int length;
  unsigned char low = 0x80;  // the range of the second byte, narrowed for the first byte's value
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;   // no overlong forms
    if (first == 0xED) high = 0x9F;  // no surrogates
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;   // no overlong forms
    if (first == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() < static_cast<size_t>(length)) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (int i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

int appendJsonString(std::string_view value, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  int replaced = 0;
  out.push_back('"');
  size_t i = 0;
  while (i < value.size()) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const int length = utf8SequenceLength(value.substr(i));
      if (length == 0) {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        ++replaced;
        ++i;
      } else {
        out.append(value.substr(i, static_cast<size_t>(length)));
        i += static_cast<size_t>(length);
      }
      continue;
    }
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out.append("\\u00");
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  out.push_back('"');
  return replaced;
}

namespace {

std::string displayCell(const std::string& cell) {
  std::string shown;
  for (const char c : cell) {
    if (c == '\n') {
      shown.append("\\n");
    } else if (c == '\r') {
      shown.append("\\r");
    } else if (c == '\t') {
      shown.append("\\t");
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

// Characters as a terminal counts them, roughly: each valid UTF-8 sequence or stray byte is one.
size_t displayWidth(std::string_view text) {
  size_t width = 0;
  size_t i = 0;
  while (i < text.size()) {
    const int length = utf8SequenceLength(text.substr(i));
    i += length == 0 ? 1 : static_cast<size_t>(length);
    ++width;
  }
  return width;
}

}  // namespace

void appendTextTable(const std::vector<std::vector<std::string>>& rows, std::string& out) {
  if (rows.empty()) return;
  std::vector<std::vector<std::string>> shown;
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    std::vector<std::string> cells;
    for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      cells.push_back(displayCell(row[c]));
      widths[c] = std::max(widths[c], displayWidth(cells.back()));
    }
    shown.push_back(std::move(cells));
  }
  const auto appendRow = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) line.append("  ");
      line.append(cells[c]);
      if (c + 1 < cells.size()) line.append(widths[c] - displayWidth(cells[c]), ' ');
    }
    out.append(line);
    out.push_back('\n');
  };
  appendRow(shown[0]);
  std::vector<std::string> rule;
  for (const size_t width : widths) rule.emplace_back(width, '-');
  appendRow(rule);
  for (size_t r = 1; r < shown.size(); ++r) appendRow(shown[r]);
}

bool BufferedOutput::flush() {
  if (!buffer.empty() && !failed) {
    failed = fwrite(buffer.data(), 1, buffer.size(), stream) != buffer.size();
  }
  buffer.clear();
  if (fflush(stream) != 0) failed = true;
  return !failed;
}

namespace {

double secondsNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

ProgressLine::ProgressLine(std::string_view label, long long inputBytes)
    : what(label), enabled(inputBytes >= kThreshold && isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
  if (enabled && lastShown >= 0) fputs("\r\033[K", stderr);
}

void ProgressLine::update(long long done, long long total) {
  if (!enabled) return;
  const double now = secondsNow();
  if (lastShown >= 0 && now - lastTime < 0.25) return;
  lastTime = now;
  lastShown = done;
  if (total > 0) {
    fprintf(stderr, "\rvelmora: %s %lld of %lld (%lld%%)", what.c_str(), done, total,
            done * 100 / total);
  } else {
    fprintf(stderr, "\rvelmora: %s %lld", what.c_str(), done);
  }
  fflush(stderr);
}

}  // namespace velmora
