#include "params/uIniFile.h"

#include "params/uErrors.h"
#include "params/uNumberFormat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Params {

namespace {

constexpr std::size_t MaxValueLength = 2047;

// Code points of the bytes 0x80..0x9F of Windows-1252; the five undefined
// bytes map to the C1 controls of the same value, as Windows does.
constexpr char32_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


// Decodes one UTF-8 sequence at i; returns false (and advances one byte) on a
// malformed one.
bool NextUtf8(const std::string& s, std::size_t& i, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int extra = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    c = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return true;
}

bool IsValidUtf8(const std::string& s, bool& hasNonAscii) {
  hasNonAscii = false;
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = 0;
    if (!NextUtf8(s, i, c))
      return false;
    if (c >= 0x80)
      hasNonAscii = true;
  }
  return true;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t'))
    ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
    --e;
  return s.substr(b, e - b);
}

// Keeps names and values on one line.
std::string OneLine(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '\r' || c == '\n')
      c = ' ';
  return out;
}

std::string CutValue(const std::string& utf8) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    if (count == MaxValueLength)
      return utf8.substr(0, i);
    char32_t c = 0;
    NextUtf8(utf8, i, c);
    ++count;
  }
  return utf8;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Cp1252ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80)
      out += ch;
    else if (b < 0xA0)
      AppendUtf8(out, Cp1252High[b - 0x80]);
    else
      AppendUtf8(out, b);
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    if (!NextUtf8(text, i, c)) {
      out += '?';
      continue;
    }
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k)
      if (Cp1252High[k] == c)
        mapped = static_cast<char>(0x80 + k);
    out += mapped;
  }
  return out;
}

std::string FoldName(const std::string& utf8) {
  std::string out = utf8;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b >= 'A' && b <= 'Z') {
      out[i] = static_cast<char>(b + 32);
    } else if (b == 0xC3 && i + 1 < out.size()) {
      // U+00C0..U+00DE except U+00D7 (multiplication sign): Latin-1 capitals.
      const auto n = static_cast<unsigned char>(out[i + 1]);
      if (n >= 0x80 && n <= 0x9E && n != 0x97)
        out[i + 1] = static_cast<char>(n + 0x20);
      ++i;
    }
  }
  return out;
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

std::string TIniFile::Decode(const std::string& raw) const { return FUtf8 ? raw : Cp1252ToUtf8(raw); }

std::string TIniFile::Encode(const std::string& text) const { return FUtf8 ? text : Utf8ToCp1252(text); }

void TIniFile::Refresh() const {
  if (FUpdateDepth > 0 && FDirty)
    return;  // pending changes are newer than the disk
  TFileStamp stamp;
  struct stat st {};
  if (::stat(FFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    stamp.Exists = true;
    stamp.Size = static_cast<std::int64_t>(st.st_size);
    stamp.MTimeSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    stamp.MTimeNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    stamp.Device = static_cast<std::uint64_t>(st.st_dev);
    stamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  }
  if (FLoaded && stamp == FStamp)
    return;
  FStamp = stamp;
  Load();
}

void TIniFile::Load() const {
  FLoaded = true;
  FIndexValid = false;
  FLines.clear();
  FBom.clear();
  FUtf8 = false;
  if (!FStamp.Exists)
    return;
  std::string bytes;
  if (FILE* f = std::fopen(FFileName.c_str(), "rb")) {
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      bytes.append(buf, n);
    std::fclose(f);
  } else {
    return;  // unreadable: reads as empty, a write will report the problem
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    FBom = bytes.substr(0, 3);
    bytes.erase(0, 3);
    FUtf8 = true;
  } else {
    bool nonAscii = false;
    FUtf8 = IsValidUtf8(bytes, nonAscii) && nonAscii;
  }
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      FLines.push_back({bytes.substr(start), ""});
      break;
    }
    std::size_t eolLen = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
    FLines.push_back({bytes.substr(start, end - start), bytes.substr(end, eolLen)});
    start = end + eolLen;
  }
}

bool TIniFile::HeaderName(const TLine& line, std::string& name) const {
  const std::string t = Trim(line.Raw);
  if (t.empty() || t[0] != '[')
    return false;
  const auto close = t.find(']');
  name = Trim(Decode(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
  return true;
}

bool TIniFile::KeyLine(const TLine& line, std::string& key, std::string& value) const {
  const auto eq = line.Raw.find('=');
  if (eq == std::string::npos)
    return false;
  const std::string t = Trim(line.Raw.substr(0, eq));
  if (t.empty() || t[0] == ';' || t[0] == '[')
    return false;
  key = Decode(t);
  value = Trim(Decode(line.Raw.substr(eq + 1)));
  return true;
}

void TIniFile::BuildIndex() const {
  FIndex.clear();
  const int n = static_cast<int>(FLines.size());
  TSectionIndex* current = nullptr;  // null in a repeated section: its keys are never read
  std::string name;
  for (int i = 0; i < n; ++i) {
    const std::string& raw = FLines[static_cast<std::size_t>(i)].Raw;
    const auto first = raw.find_first_not_of(" \t");
    if (first == std::string::npos || raw[first] != '[')
      continue;  // not a header: the section's keys are indexed when first asked for
    HeaderName(FLines[static_cast<std::size_t>(i)], name);
    if (current)
      current->End = i;
    const auto [it, added] = FIndex.try_emplace(FoldName(name));
    current = added ? &it->second : nullptr;
    if (current)
      current->Header = i;
  }
  if (current)
    current->End = n;
  FIndexValid = true;
}

const TIniFile::TSectionIndex* TIniFile::FindSection(const std::string& foldedSection) const {
  if (!FIndexValid)
    BuildIndex();
  const auto it = FIndex.find(foldedSection);
  return it == FIndex.end() ? nullptr : &it->second;
}

int TIniFile::FindKey(const TSectionIndex& section, const std::string& foldedKey) const {
  if (!section.KeysBuilt) {
    auto& keys = const_cast<TSectionIndex&>(section);  // the index is a cache of FLines
    keys.Keys.clear();
    std::string key, value;
    for (int i = section.Header + 1; i < section.End; ++i)
      if (KeyLine(FLines[static_cast<std::size_t>(i)], key, value))
        keys.Keys.try_emplace(FoldName(key), i);  // the first of equal keys wins
    keys.KeysBuilt = true;
  }
  const auto it = section.Keys.find(foldedKey);
  return it == section.Keys.end() ? -1 : it->second;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  Refresh();
  const TSectionIndex* sec = FindSection(FoldName(section));
  const int line = sec ? FindKey(*sec, FoldName(key)) : -1;
  if (line < 0)
    return def;
  std::string k, value;
  KeyLine(FLines[static_cast<std::size_t>(line)], k, value);
  return CutValue(value);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  Refresh();
  const std::string sec = OneLine(section), k = OneLine(key);
  const std::string entry = Encode(k + "=" + OneLine(value));
  const std::string foldedKey = FoldName(k);
  const std::size_t count = FLines.size();
  if (const TSectionIndex* found = FindSection(FoldName(sec))) {
    const int line = FindKey(*found, foldedKey);
    if (line >= 0) {
      TLine& replaced = FLines[static_cast<std::size_t>(line)];
      replaced.Raw = entry;
      std::string readKey, readValue;
      if (!KeyLine(replaced, readKey, readValue) || FoldName(readKey) != foldedKey)
        FIndexValid = false;  // otherwise the same key in the same place: the index holds
    } else {
      // After the last entry of the section, so that blank lines and comments
      // in front of the next section stay with that section.
      const int header = found->Header;
      int last = found->End - 1;
      std::string k2, v2;
      while (last > header && !KeyLine(FLines[static_cast<std::size_t>(last)], k2, v2))
        --last;
      if (FLines[static_cast<std::size_t>(last)].Eol.empty())
        FLines[static_cast<std::size_t>(last)].Eol = "\r\n";
      const auto at = static_cast<std::size_t>(last + 1);
      FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), TLine{entry, "\r\n"});
      std::string readKey, readValue;
      if (at == count && KeyLine(FLines[at], readKey, readValue) && FoldName(readKey) == foldedKey) {
        // Appended at the end of the file (a list written key by key): no
        // line moved, so the index only grows.
        auto& grown = FIndex[FoldName(sec)];
        grown.End = static_cast<int>(FLines.size());
        if (grown.KeysBuilt)
          grown.Keys.try_emplace(foldedKey, static_cast<int>(at));
      } else {
        FIndexValid = false;
      }
    }
  } else {
    if (!FLines.empty() && FLines.back().Eol.empty())
      FLines.back().Eol = "\r\n";
    FLines.push_back({Encode("[" + sec + "]"), "\r\n"});
    FLines.push_back({entry, "\r\n"});
    std::string readName, readKey, readValue;
    if (HeaderName(FLines[count], readName) && FoldName(readName) == FoldName(sec) &&
        KeyLine(FLines[count + 1], readKey, readValue) && FoldName(readKey) == foldedKey) {
      TSectionIndex& added = FIndex[FoldName(sec)];
      added.Header = static_cast<int>(count);
      added.End = static_cast<int>(FLines.size());
      added.Keys.emplace(foldedKey, static_cast<int>(count) + 1);
      added.KeysBuilt = true;
    } else {
      FIndexValid = false;  // a name that reads back otherwise: index it as read
    }
  }
  Changed();
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const {
  std::int32_t value = 0;
  return Propagon::TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

std::int64_t TIniFile::ReadInt64(const std::string& section, const std::string& key, std::int64_t def) const {
  std::int64_t value = 0;
  return Propagon::TryStrToInt64(ReadString(section, key, ""), value) ? value : def;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int64_t value) {
  WriteString(section, key, std::to_string(value));
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInt64(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
  double value = 0.0;
  return Propagon::TryStrToFloat(ReadString(section, key, ""), value) ? value : def;
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  WriteString(section, key, Propagon::FloatToStr(value));
}

bool TIniFile::SectionExists(const std::string& section) const {
  Refresh();
  return FindSection(FoldName(section)) != nullptr;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  Refresh();
  const TSectionIndex* sec = FindSection(FoldName(section));
  return sec && FindKey(*sec, FoldName(key)) >= 0;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  Refresh();
  std::vector<std::string> keys;
  std::string key, value;
  if (const TSectionIndex* sec = FindSection(FoldName(section)))
    for (int i = sec->Header + 1; i < sec->End; ++i)
      if (KeyLine(FLines[static_cast<std::size_t>(i)], key, value))
        keys.push_back(key);
  return keys;
}

void TIniFile::NumberedKeys(const TSectionIndex& section, std::vector<int>& lines, long long& highest) const {
  // One pass in file order over the raw bytes (digits, '=' and blanks are the
  // same in every encoding the file may have): line of the first key spelled
  // exactly as the number n is (no sign, no leading zero), by n. Numbers
  // beyond the section's length cannot be reached without a gap.
  const std::size_t span = static_cast<std::size_t>(section.End - section.Header);
  std::vector<int> lineOf(span, -1);
  highest = -1;
  for (int i = section.Header + 1; i < section.End; ++i) {
    const std::string& raw = FLines[static_cast<std::size_t>(i)].Raw;
    const std::size_t eq = raw.find('=');
    if (eq == std::string::npos)
      continue;
    std::size_t b = 0, e = eq;
    while (b < e && (raw[b] == ' ' || raw[b] == '\t'))
      ++b;
    while (e > b && (raw[e - 1] == ' ' || raw[e - 1] == '\t'))
      --e;
    if (b == e || e - b > 18 || (raw[b] == '0' && e - b > 1))
      continue;
    long long n = 0;
    std::size_t k = b;
    for (; k < e && raw[k] >= '0' && raw[k] <= '9'; ++k)
      n = 10 * n + (raw[k] - '0');
    if (k != e)
      continue;
    highest = std::max(highest, n);
    if (static_cast<unsigned long long>(n) < span && lineOf[static_cast<std::size_t>(n)] < 0)
      lineOf[static_cast<std::size_t>(n)] = i;
  }
  lines.clear();
  for (std::size_t n = 0; n < span && lineOf[n] >= 0; ++n)
    lines.push_back(lineOf[n]);
}

std::vector<std::string> TIniFile::ReadNumberedValues(const std::string& section) const {
  Refresh();
  std::vector<std::string> values;
  const TSectionIndex* sec = FindSection(FoldName(section));
  if (!sec)
    return values;
  std::vector<int> lines;
  long long highest = -1;
  NumberedKeys(*sec, lines, highest);
  values.reserve(lines.size());
  std::string key, value;
  for (const int line : lines) {
    KeyLine(FLines[static_cast<std::size_t>(line)], key, value);
    values.push_back(CutValue(value));
  }
  return values;
}

void TIniFile::CountNumberedKeys(const std::string& section, std::size_t& consecutive, long long& highest) const {
  Refresh();
  consecutive = 0;
  highest = -1;
  const TSectionIndex* sec = FindSection(FoldName(section));
  if (!sec)
    return;
  std::vector<int> lines;
  NumberedKeys(*sec, lines, highest);
  consecutive = lines.size();
}

std::vector<std::string> TIniFile::ReadSections() const {
  Refresh();
  std::vector<std::string> names;
  std::string name;
  for (const TLine& line : FLines)
    if (HeaderName(line, name))
      names.push_back(name);
  return names;
}

void TIniFile::EraseSection(const std::string& section) {
  Refresh();
  const std::string folded = FoldName(section);
  bool changed = false;
  // Every section of that name, the repeated ones too.
  std::string name;
  std::vector<TLine> kept;
  kept.reserve(FLines.size());
  bool erasing = false;
  for (TLine& line : FLines) {
    if (HeaderName(line, name))
      erasing = FoldName(name) == folded;
    if (erasing)
      changed = true;
    else
      kept.push_back(std::move(line));
  }
  FLines = std::move(kept);
  FIndexValid = false;
  if (changed)
    Changed();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  Refresh();
  const TSectionIndex* sec = FindSection(FoldName(section));
  const int line = sec ? FindKey(*sec, FoldName(key)) : -1;
  if (line < 0)
    return;
  FLines.erase(FLines.begin() + line);
  FIndexValid = false;
  Changed();
}

void TIniFile::UpdateFile() {}

void TIniFile::BeginUpdate() {
  if (FUpdateDepth == 0)
    Refresh();
  ++FUpdateDepth;
}

void TIniFile::EndUpdate() {
  if (FUpdateDepth == 0)
    return;
  if (--FUpdateDepth == 0 && FDirty)
    Commit();
}

void TIniFile::CancelUpdate() {
  FUpdateDepth = 0;
  FDirty = false;
  FLoaded = false;  // read the disk again
}

void TIniFile::Changed() {
  if (FUpdateDepth > 0)
    FDirty = true;
  else
    Commit();
}

void TIniFile::Commit() {
  FDirty = false;
  const auto fail = [this]() {
    FLoaded = false;  // memory no longer matches the disk: read it again
    throw Propagon::EIniFileException("Unable to write to " + FFileName);
  };
  // Write through a symbolic link to the file it names, not over the link.
  std::string target = FFileName;
  if (char* real = ::realpath(FFileName.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  mode_t mode = 0666;
  struct stat st {};
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0)
      fail();  // a read-only file or a folder is refused, as a direct write would be
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string tmp = target + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0)
    fail();
  std::string bytes = FBom;
  for (const TLine& line : FLines) {
    bytes += line.Raw;
    bytes += line.Eol;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    if (ok)
      done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
    ::unlink(tmp.c_str());
    fail();
  }
  // Remember what we wrote so the next read does not parse it again.
  if (::stat(FFileName.c_str(), &st) == 0) {
    FStamp.Exists = true;
    FStamp.Size = static_cast<std::int64_t>(st.st_size);
    FStamp.MTimeSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    FStamp.MTimeNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    FStamp.Device = static_cast<std::uint64_t>(st.st_dev);
    FStamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  } else {
    FLoaded = false;
  }
}

} // namespace Params
