#pragma once

#include "backup/RunObserver.h"
#include "store/BackupSession.h"

#include <memory>

// Shows one run in an event window of its own. The window appears when the run starts, unless
// the session is to run hidden; a run that did not end ok shows its window anyway, so the user
// learns of it. Shown windows live until the user closes them.
std::shared_ptr<RunObserver> watchInEventWindow(const BackupSession& session);
