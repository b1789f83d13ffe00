// Pieces of start-up that tests reach directly.
#pragma once

#include <string>

#include "engine/Platform.h"
#include "records/QNRecords.h"

namespace tc {

// The defaults of an engine side's login copy.
void applyLoginDefaults(CQNLoginField &login);
// The checks on a login copy in their order, including the flow directories; 0 when it passes.
int checkLoginCopy(const CQNLoginField &login);
// The check that init's front waits on the calling thread ask whether to give up (null: none).
void setThreadFrontWaitCheck(bool (*check)());
// Makes every missing directory along `path`, read in the host's path style (tests name the
// other); false when one cannot be made.
bool makeDirectoryChain(const std::string &path, platform::PathStyle style = platform::kHostPathStyle);

}  // namespace tc
