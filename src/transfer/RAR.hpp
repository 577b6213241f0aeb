#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RAROpenArchiveDataEx;
struct RARHeaderDataEx;

// Listing, testing and extracting RAR archives with the UnRAR library.
namespace tarvos {

class TRARDll;

struct TRARProgressInfo {
    std::int64_t FileBytesDone = 0;
    std::int64_t FileBytesTotal = 0;
    std::string FileName;
    std::int64_t TotalSize = 0;  // bytes processed since the operation began
};

struct TRARArchiveInformation {
    std::string FileName;
    int ArchiverMajorVersion = 0;
    int ArchiverMinorVersion = 0;
    std::int64_t DictionarySize = 0;
    bool Encryption = false;
    bool Solid = false;
    std::string HostOS;
    int TotalFiles = 0;
    std::int64_t CompressedSize = 0;
    std::int64_t UnCompressedSize = 0;
    bool HeaderEncrypted = false;
    bool MultiVolume = false;
    bool ArchiveComment = false;
    bool FileComment = false;
    std::string Comment;
    bool Signed = false;
    bool Locked = false;
    bool Recovery = false;
    bool SFX = false;
    bool Opened = false;
};

// One entry as listing sees it.
struct TRARFileItem {
    std::string FileName;
    std::int64_t CompressedSize = 0;
    std::int64_t UnCompressedSize = 0;
    std::string HostOS;
    std::uint32_t FileCRC = 0;
    std::uint32_t FileTime = 0;  // DOS date and time
    std::uint32_t Attributes = 0;
    int Version = 0;
    bool Encrypted = false;
    bool Folder = false;
};

enum class TRARReplace { rrCancel, rrOverwrite, rrSkip };

struct TRARReplaceData {
    std::string FileName;
    std::int64_t Size = 0;
    std::uint32_t Time = 0;  // DOS date and time; 0 for the file already on disk
};

class TRAR {
public:
    TRAR();
    ~TRAR();
    TRAR(const TRAR&) = delete;
    TRAR& operator=(const TRAR&) = delete;

    // Loads the library if needed and lists the archive; true when listing succeeded.
    bool OpenFile(const std::string& FileName);
    bool List();
    // Extracts the entries of the opened archive under Path (all of them when Files is
    // none), flat (bare file names) unless RestoreFolder.
    bool Extract(const std::string& Path, bool RestoreFolder, const std::vector<std::string>* Files);
    bool Test();

    bool LoadDLL();
    void UnloadDLL();
    bool isDLLLoaded() const;
    // The library's interface version, 0 when it cannot be loaded.
    std::uint32_t GetDllVersion();
    // The oldest interface version whose functions this component uses.
    static constexpr std::uint32_t kMinDllVersion = 4;
    void Abort() { fAbort = true; }
    static const char* Version() { return "1.2"; }

    const TRARArchiveInformation& ArchiveInformation() const { return fArchiveInformation; }
    const TRARProgressInfo& ProgressInfo() const { return fProgressInfo; }

    bool ReadMultiVolumeToEnd = false;
    // The system error behind the last entry that could not be created or written (0: none
    // since the last extraction began), so that a full disk can be told from a bad archive.
    int WriteError = 0;
    std::string Password;
    std::string DllName = "unrar.dll";  // informational: the library is not loaded by name

    std::function<void(int code)> OnError;
    std::function<void(const TRARFileItem& item)> OnListFile;
    // Asked for a header password (before the archive is open) or a file password; false cancels.
    std::function<bool(bool headerPassword, std::string& password)> OnPasswordRequired;
    // May change the proposed name of the next volume; false cancels.
    std::function<bool(std::string& volumeName)> OnNextVolumeRequired;
    std::function<void(const TRARProgressInfo& info)> OnProcess;
    std::function<TRARReplace(const TRARReplaceData& existing, const TRARReplaceData& incoming)> OnReplace;

    // Entry for the library's callback; not for other callers.
    int LibraryCallback(unsigned message, std::intptr_t p1, std::intptr_t p2);

private:
    class OpenedArchive;

    bool OpenArchive(unsigned mode);
    void CloseArchive();
    void ReportError(int code);
    void RecordEntry();
    bool ProcessEntries(const std::string& Path, bool RestoreFolder, const std::vector<std::string>* Files,
                        int operation);
    int ProcessEntry(const std::string& path, bool RestoreFolder, const std::vector<std::string>* Files,
                     int operation);
    int ExtractEntry(const std::string& path, bool RestoreFolder, int operation);
    bool ChangeVolume(char* name, std::intptr_t mode);
    bool NeedPassword(char* buffer, std::intptr_t size);

    std::unique_ptr<TRARDll> RARDLLInstance;
    bool fAbort = false;
    TRARProgressInfo fProgressInfo;
    std::uint32_t fPackedSizeMVVolume = 0;
    std::vector<char> Comment;  // the library writes the archive comment here
    TRARArchiveInformation fArchiveInformation;
    std::string fArchiveName;  // as the library takes it
    std::unique_ptr<RAROpenArchiveDataEx> ArchiveData;
    void* ArchiveHandle = nullptr;
    std::unique_ptr<RARHeaderDataEx> hdrData;
};

// Unpacks a packed update file (a RAR archive) into destFolder, flat, with the one shared
// extractor. A missing archive is skipped; failures end it silently, except that the system
// error of a write that failed is returned (0: none). `progress`, when given, sees the bytes
// unpacked so far and the entry's size.
int UnRarFile(const std::string& archiveName, const std::string& destFolder,
              const std::function<void(int64_t done, int64_t total)>& progress = {});

}  // namespace tarvos
