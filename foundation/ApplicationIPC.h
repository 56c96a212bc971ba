#pragma once

#include "foundation/String.h"

namespace orvane {

// The single-instance guard. The "mutex" is an exclusive flock on a lock file named after
// it in the per-user runtime folder: the kernel drops the lock when the holder ends, even
// by a crash, and the descriptor is close-on-exec so a program the holder starts never
// keeps it. The runtime folder is $ORVANE_RUNTIME_DIR when set, else $XDG_RUNTIME_DIR, else
// a private folder /tmp/orvane-<uid> (mode 0700, ours alone).
class ApplicationIPC {
public:
    // Thrown when the guard cannot be set up at all. Deliberately outside the Exception
    // family: a handler for Exception does not catch it.
    class MutexErrorException {
    public:
        MutexErrorException() = default;
        MutexErrorException(const MutexErrorException&) = default;
        MutexErrorException& operator=(const MutexErrorException&) = default;
        virtual ~MutexErrorException();
    };

    // Size of the block that travels with the registered message's name.
    static constexpr int SharedMemorySize = 25600;

    ApplicationIPC() = default;
    ApplicationIPC(const ApplicationIPC&) = delete;
    ApplicationIPC& operator=(const ApplicationIPC&) = delete;
    virtual ~ApplicationIPC();

    // Stores the names (base + "_MUTEX", base + "_REGISTERED_MESSAGE"), gives the message
    // its number and maps the shared block. Never reports failure.
    void init(const char* name);
    // Takes the lock: true when no other holder exists, false when one does. The lock file
    // stays open (and, when taken, locked) until this object goes. MutexErrorException when
    // the lock file cannot be opened or locking fails for another reason.
    bool isFirstInstance();

    // Whether some process holds the guard for that base name right now, for programs that
    // wait for an instance to end. Takes the lock for a moment when nobody holds it.
    static bool isRunning(const char* name);

    const String& getBaseName() const { return baseName; }
    const String& getMutexName() const { return mutexName; }
    const String& getMessageName() const { return messageName; }
    unsigned getMessageId() const { return messageId; }
    void* getView() const { return view; }

    // The folder that holds the lock files (created when missing); empty when unusable.
    static String runtimeFolder();
    // The lock file of a mutex name; empty when the folder is unusable.
    static String lockFilePath(const char* mutexName);

private:
    String baseName;
    unsigned messageId = 0;
    int mutex = -1;
    int mapping = -1;
    void* view = nullptr;
    String mutexName;
    String messageName;
};

} // namespace orvane
