// Placeholder until this module is written.
#include "pcsc/connection.h"

Verdict EstablishContext() { return {}; }
INT_PTR ListReaders() { return {}; }
INT_PTR ConnectCard() { return {}; }
Verdict DisconnectCard() { return {}; }
Verdict ReleaseContext() { return {}; }
void FillReaderList([[maybe_unused]] const char* readerNames) { }
