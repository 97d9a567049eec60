// The PC/SC call table, bound to libpcsclite.
#include "core/pcsc/pcsc_api.h"

const PcscApi pcscLibrary = {
    SCardEstablishContext, SCardReleaseContext, SCardListReaders,      SCardConnect,        SCardReconnect,
    SCardDisconnect,       SCardStatus,         SCardGetAttrib,        SCardTransmit,       SCardControl,
    SCardGetStatusChange,  SCardCancel,         SCardBeginTransaction, SCardEndTransaction,
};

PcscApi pcsc = pcscLibrary;
