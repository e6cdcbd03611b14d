#pragma once
// INI files with the behaviour users of the Windows profile functions know:
// the parameter files (.kpx) and the settings file polykin.ini use it.
//
//  * A line "[name]" opens a section; "key=value" lines belong to it. Names of
//    sections and keys match without regard to letter case (ASCII and Latin-1
//    letters); blanks around names and values are ignored when reading. The
//    first of several equal sections or keys is the one read and written.
//  * Writing a key replaces its value in place, or appends the key after the
//    last entry of its section (comments and blank lines in front of the next
//    section stay there); a missing section is appended at the end of the
//    file. Lines the write does not touch keep their bytes and line ends; new
//    lines end with CR LF.
//  * On disk the text is Windows-1252 (a new file, and a file that is not valid
//    UTF-8); in memory it is UTF-8. A file that is entirely valid UTF-8 with
//    non-ASCII text, or that starts with a UTF-8 byte-order mark (a file typed
//    in a modern editor), is read and written as UTF-8. Characters Windows-1252
//    cannot hold are written as '?'.
//  * A value is read up to 2047 characters; the rest is cut.
//  * Every write reaches the disk before it returns: the whole file is written
//    to a temporary file beside it, flushed to the device and renamed over the
//    old one, so a failed or interrupted write never leaves a truncated file.
//    A write the file system refuses throws Propagon::EIniFileException with
//    "Unable to write to " + the file name, and the file stays as it was.
//  * Reads see changes made by other programs: the file is read again whenever
//    its size, time stamp or identity changed.
//
// Line breaks inside written names and values are replaced by blanks (they
// would otherwise split the entry and corrupt the file).
//
// Not thread-safe: one object is used by one thread at a time (the run file is
// read by the simulation thread only while the main thread leaves it alone).

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace Params {

class TIniFile {
public:
  // Never fails: an absent or unreadable file reads as empty.
  explicit TIniFile(std::string fileName);
  virtual ~TIniFile() = default;
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return FFileName; }

  // Text of the key, or `def` when the key is absent.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Decimal digits with an optional sign, or hexadecimal after "0x" or "$";
  // absent, malformed or out-of-range values give `def`.
  std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
  std::int64_t ReadInt64(const std::string& section, const std::string& key, std::int64_t def) const;
  void WriteInteger(const std::string& section, const std::string& key, std::int64_t value);

  // Written "1"/"0"; read as an integer, non-zero is true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // The plain real reader: converts with the current decimal separator only;
  // absent and malformed values give `def`.
  double ReadFloat(const std::string& section, const std::string& key, double def) const;
  // 15-digit general notation with the current decimal separator.
  void WriteFloat(const std::string& section, const std::string& key, double value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Key names of a section in file order; names of all sections in file order.
  std::vector<std::string> ReadSection(const std::string& section) const;
  // The values of the keys "0", "1", "2", ... of a section, up to the first
  // missing number (each cut like ReadString). One look at the disk for the
  // whole list, however long.
  std::vector<std::string> ReadNumberedValues(const std::string& section) const;
  // How many of those keys there are from "0" without a gap, and the highest
  // number any key of the section is spelled as (-1: none).
  void CountNumberedKeys(const std::string& section, std::size_t& consecutive, long long& highest) const;
  std::vector<std::string> ReadSections() const;

  // Removes every section of that name with all its lines.
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // Nothing is ever buffered outside an update; kept for callers that flush.
  void UpdateFile();

  // Groups writes into one disk write. Updates nest; the outermost EndUpdate
  // writes the file (and throws like a single write would). CancelUpdate
  // drops every change since the outermost BeginUpdate and leaves the file as
  // it was on disk.
  void BeginUpdate();
  void EndUpdate();
  void CancelUpdate();

private:
  struct TLine {
    std::string Raw;  // bytes as on disk, without the line end
    std::string Eol;  // "\r\n", "\n", "\r" or "" for a last line without one
  };
  // Where the first section of each folded name starts and ends, and the
  // first line of each folded key inside it: lookups cost no scan of the
  // file, so reading n keys is linear in n.
  struct TSectionIndex {
    int Header = -1;
    int End = 0;  // index after the section's last line
    // Built at the first key lookup in the section (a long list read in
    // order by ReadNumberedValues never needs it).
    bool KeysBuilt = false;
    std::unordered_map<std::string, int> Keys;
  };
  struct TFileStamp {
    bool Exists = false;
    std::int64_t Size = 0, MTimeSec = 0, MTimeNsec = 0;
    std::uint64_t Device = 0, Inode = 0;
    bool operator==(const TFileStamp&) const = default;
  };

  void Refresh() const;
  void Load() const;
  void Commit();
  void Changed();
  std::string Decode(const std::string& raw) const;
  std::string Encode(const std::string& text) const;
  void BuildIndex() const;
  // The first section of that folded name, or nullptr.
  const TSectionIndex* FindSection(const std::string& foldedSection) const;
  // Line of the key inside the section, or -1.
  int FindKey(const TSectionIndex& section, const std::string& foldedKey) const;
  // Lines of the keys "0", "1", ... up to the first missing number.
  void NumberedKeys(const TSectionIndex& section, std::vector<int>& lines, long long& highest) const;
  // Decoded name of a section header line, or false when the line is none.
  bool HeaderName(const TLine& line, std::string& name) const;
  bool KeyLine(const TLine& line, std::string& key, std::string& value) const;

  std::string FFileName;
  mutable std::vector<TLine> FLines;
  mutable bool FUtf8 = false;
  mutable std::string FBom;
  mutable TFileStamp FStamp;
  mutable bool FLoaded = false;
  mutable std::unordered_map<std::string, TSectionIndex> FIndex;  // by folded section name
  mutable bool FIndexValid = false;
  int FUpdateDepth = 0;
  bool FDirty = false;
};

// Exposed for the tests and for other readers of Windows-1252 text.
// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, char32_t c);
std::string Cp1252ToUtf8(const std::string& bytes);
std::string Utf8ToCp1252(const std::string& text);
// Case folding used for names (ASCII and Latin-1 letters).
std::string FoldName(const std::string& utf8);

} // namespace Params
