#include "platform/RegistryParser.h"

#include <algorithm>
#include <utility>

namespace velmora {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits the text into lines on LF; a final line without LF counts as a line.
class LineReader {
 public:
  explicit LineReader(const std::string& input) : text(input) {}

  // Next line without its LF; false at the end of the text.
  bool next(std::string& line) {
    if (position >= text.size()) return false;
    const size_t end = text.find('\n', position);
    const size_t stop = end == std::string::npos ? text.size() : end;
    line.assign(text, position, stop - position);
    position = end == std::string::npos ? text.size() : end + 1;
    ++lineNumber;
    return true;
  }
  int getLineNumber() const { return lineNumber; }

 private:
  const std::string& text;
  size_t position = 0;
  int lineNumber = 0;
};

std::string trimTrailing(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && isBlank(line[end - 1])) --end;
  return line.substr(0, end);
}

size_t skipLeading(const std::string& line) {
  size_t position = 0;
  while (position < line.size() && isBlank(line[position])) ++position;
  return position;
}

// Decodes the quoted text starting at line[position] == '"'. On success position is just past the
// closing quote.
bool readQuoted(const std::string& line, size_t& position, std::string& decoded,
                std::string& reason) {
  std::string result;
  size_t i = position + 1;
  while (i < line.size()) {
    const char c = line[i];
    if (c == '"') {
      decoded = std::move(result);
      position = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= line.size()) break;
      const char escaped = line[i + 1];
      if (escaped != '\\' && escaped != '"') {
        reason = std::string("invalid escape sequence \"\\") + escaped + "\" in quoted text";
        return false;
      }
      result += escaped;
      i += 2;
      continue;
    }
    result += c;
    ++i;
  }
  reason = "unterminated quoted text";
  return false;
}

bool validKeyPath(const std::string& path, std::string& reason) {
  if (path.empty()) {
    reason = "empty key name";
    return false;
  }
  if (path[0] == '-') {
    reason = "key deletion entries do not belong in the registry file";
    return false;
  }
  if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos) {
    reason = "empty key name component in \"" + path + "\"";
    return false;
  }
  return true;
}

class Parser {
 public:
  Parser(const std::string& text, RegistryParseError& failure) : lines(text), error(failure) {}

  bool run(RegistryDocument& document) {
    std::string line;
    if (!lines.next(line)) return true;                             // empty text: empty registry
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // a byte order mark
    if (trimTrailing(line) != "REGEDIT4") return fail("expected \"REGEDIT4\" as the first line");
    RegistryKey* current = nullptr;
    while (lines.next(line)) {
      const std::string trimmed = trimTrailing(line);
      const size_t start = skipLeading(trimmed);
      if (start == trimmed.size() || trimmed[start] == ';') continue;
      if (trimmed[start] == '[') {
        if (trimmed.back() != ']') return fail("key line does not end with ']'");
        const std::string path = trimmed.substr(start + 1, trimmed.size() - start - 2);
        std::string reason;
        if (!validKeyPath(path, reason)) return fail(reason);
        current = &parsed.createKey(path);
        continue;
      }
      if (current == nullptr) return fail("value line before the first key");
      RegistryValue value;
      if (!parseValueLine(trimmed, start, value)) return false;
      current->setValue(value);
    }
    document = std::move(parsed);
    return true;
  }

 private:
  bool fail(const std::string& reason) {
    error.line = lines.getLineNumber();
    error.reason = reason;
    return false;
  }

  bool parseValueLine(const std::string& line, size_t position, RegistryValue& value) {
    std::string reason;
    if (line[position] == '@') {
      value.isDefault = true;
      ++position;
    } else if (line[position] == '"') {
      if (!readQuoted(line, position, value.name, reason)) return fail(reason);
    } else {
      return fail("expected '[', '@', '\"' or ';' at the start of the line");
    }
    if (position >= line.size() || line[position] != '=')
      return fail("expected '=' after the value name");
    ++position;
    if (position < line.size() && line[position] == '"') {
      if (!readQuoted(line, position, value.data, reason)) return fail(reason);
      if (skipLeading(line.substr(position)) != line.size() - position)
        return fail("unexpected text after the closing quote");
      return true;
    }
    value.isString = false;
    value.data = line.substr(position);
    if (value.data.empty()) return fail("missing value data after '='");
    const int firstLine = lines.getLineNumber();
    std::string continuation;
    while (value.data.back() == '\\') {  // hex data continues on the next line
      if (!lines.next(continuation)) {
        error.line = firstLine;
        error.reason = "value data continues past the end of the file";
        return false;
      }
      value.data += '\n';
      value.data += trimTrailing(continuation);
    }
    return true;
  }

  LineReader lines;
  RegistryParseError& error;
  RegistryDocument parsed;
};

}  // namespace

std::string RegistryParseError::describe() const {
  return "line " + std::to_string(line) + ": " + reason;
}

bool parseRegistryText(const std::string& text, RegistryDocument& document,
                       RegistryParseError& error) {
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    error.line = 1 + static_cast<int>(std::count(
                         text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
    error.reason = "NUL byte in the registry file";
    return false;
  }
  return Parser(text, error).run(document);
}

}  // namespace velmora
