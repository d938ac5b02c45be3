#pragma once
// Files that appear whole or not at all, and names that never replace an
// existing file. A picture is written to a hidden temporary file in its
// target folder, synced, and only then moved to its name; a failed or
// interrupted write leaves no file under the final name. When the name is
// taken (a clock stepped back, two programs saving at the same moment), the
// file gets "-1", "-2", ... before its extension. The file gets the mode any
// new file of the user's gets (0666 less the umask); a replaced file keeps
// its own.
//
// Any thread; an AtomicFile is used by one thread at a time.

#include <cstddef>
#include <string>

namespace platform {

// What to do when the final name exists already.
enum class ExistingFile {
    Number,  // keep it; use the next free numbered name
    Replace, // replace it (the user chose the name and agreed)
};

// Creates `path` with O_CREAT | O_EXCL for writing, numbered when taken.
// Returns the descriptor and sets `created` to the name used; -1 with errno
// set when the file cannot be created.
int CreateNumberedFile(const std::string& path, std::string& created);

// How a file is moved into place without replacing another. Each falls back
// to the next where the filesystem refuses it (no RENAME_NOREPLACE on some
// network filesystems, no hard links on FAT).
enum class MoveMethod {
    RenameNoReplace, // renameat2(..., RENAME_NOREPLACE)
    Link,            // link() to the new name, then unlink() the old one
    Placeholder,     // claim the name with O_EXCL, then rename() over the claim
};

// Moves `from` to `to` (numbered per `existing`). 0 and `moved` = the final
// name on success; otherwise the errno and `from` is left where it was.
int MoveIntoPlace(const std::string& from, const std::string& to, ExistingFile existing, std::string& moved,
                  MoveMethod first = MoveMethod::RenameNoReplace);

class AtomicFile {
public:
    // Creates the temporary file beside `path`: ".<name>.XXXXXX<extension>",
    // so writers that choose the format by extension still do. isOpen()
    // says false (and error() why) when the folder cannot take it.
    explicit AtomicFile(std::string path, ExistingFile existing = ExistingFile::Number);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~AtomicFile();

    bool isOpen() const { return fd_ >= 0; }
    // The temporary file, for writers that want a name (they must write it
    // in place, truncating, not replace it).
    const std::string& tempPath() const { return temp_; }
    // Writes all of `data` at the current position; false on any failure
    // (a full disk, a file-size limit), which commit() then refuses.
    bool write(const void* data, size_t size);
    // Marks the contents bad: commit() will fail (a writer reported failure).
    void abandon(int error);
    // Syncs the temporary file and moves it into place, then syncs the
    // folder. False with error() set when anything failed; the temporary
    // file is removed then and no final file is made.
    bool commit();
    // The name the file got (numbered on a collision); valid after commit().
    const std::string& finalPath() const { return final_; }
    // errno of the first failure; 0 while all is well.
    int error() const { return error_; }

private:
    void discard();

    std::string path_;
    ExistingFile existing_;
    std::string temp_;
    std::string final_;
    int fd_ = -1;
    int error_ = 0;
    bool committed_ = false;
};

} // namespace platform
