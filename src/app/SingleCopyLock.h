#pragma once

#include <string>

// The single-copy rule: a lock on "vestrel.lock" in the user's data folder, held until the process
// ends (the system drops it then, however the process ends). Taken before anything of Qt exists,
// so a second copy ends without a word whatever its environment.
class SingleCopyLock {
public:
    enum class Result { Acquired, HeldByAnotherCopy, Failed };

    // Keeps the lock for the rest of the process when acquired.
    static Result acquire(const std::string& lockPath);

    // The folder of the running executable, found without Qt: where earlier versions kept the
    // session database.
    static std::string programFolder();
};
