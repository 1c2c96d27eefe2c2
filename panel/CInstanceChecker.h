#pragma once

#include "CMutex.h"
#include "CObject.h"
#include "CSingleLock.h"

#include <windows.h>

#include <memory>
#include <string>

// Keeps one running copy of the program per Windows session. Start-up takes the start-up lock,
// a mutex named after the instance that lets one starting copy at a time through; the copy that
// runs its panel publishes the panel's window in a 4-byte named shared block; a copy that finds
// the block restores and raises that window and ends. Everything runs on the user-interface
// thread that constructed the checker.
class CInstanceChecker : public CObject {
    DECLARE_RUNTIME_CLASS(CInstanceChecker)

public:
    // Throws CResourceException when either mutex cannot be created.
    CInstanceChecker();
    ~CInstanceChecker() override;

    // Waits, without a time limit, for the start-up lock.
    void LockStartup();
    // True when a running copy has published its block.
    bool IsAnotherInstanceRunning() const;
    // Creates the block, stores WindowToPublish in it and releases the start-up lock. False when
    // a block exists already or cannot be created: the lock then stays held, so copies started
    // meanwhile wait until this one ends. A block that cannot be mapped is dropped and the lock
    // released.
    bool PublishMainWindow();
    // Restores the running copy's window and brings its last active popup to the foreground;
    // returns that window, or null when the block names no live window or cannot be read. The
    // start-up lock is released, except when there is no block: then the checker's destructor
    // releases it.
    HWND ActivateRunningInstance();
    // Releases the start-up lock if this copy holds it; does nothing otherwise.
    void UnlockStartup();

    virtual std::string SharedBlockName() const;
    // The application's current main window, or null when it has none.
    virtual HWND WindowToPublish() const;

private:
    CMutex dataMutex;
    CMutex startupMutex;
    std::unique_ptr<CSingleLock> startupLock;
    std::string instanceName;
};
