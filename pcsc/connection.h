// The reader life cycle: context, reader list, connect, disconnect, release.
#pragma once

#include <winscard.h>

#include "ui/winsys.h"

// Reconnects the held card, offering the protocols Connect offers; the
// outcome is not reported.
void ReconnectCard(DWORD initialization);
// Shows the names of a multi-string of at most BUFFER_SIZE bytes in the
// reader list, in their order, and selects the first.
void FillReaderList(const char* readerNames);
