/* raw_send HEX: the floor of a whole-process `send`, a bare C program making
 * the same PC/SC calls as the command line's `send` (a context, the reader
 * list with its states, an exclusive connect offering T=0 and T=1, one
 * SCardTransmit, disconnect leaving the card, release) and printing the
 * response in hex. bench_process_send starts it side by side with the
 * program. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <winscard.h>

static int Fail(const char* call, LONG status)
{
    fprintf(stderr, "raw_send: %s: 0x%08lX\n", call, (unsigned long)status);
    return 1;
}

int main(int argc, char** argv)
{
    BYTE apdu[262];
    DWORD apduLength = 0;
    const char* hex = argc > 1 ? argv[1] : "00CA000000";
    for (size_t i = 0; hex[i] && hex[i + 1] && apduLength < sizeof apdu; i += 2) {
        unsigned value;
        if (sscanf(hex + i, "%2x", &value) != 1)
            return 2;
        apdu[apduLength++] = (BYTE)value;
    }
    SCARDCONTEXT context;
    LONG status = SCardEstablishContext(SCARD_SCOPE_USER, NULL, NULL, &context);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardEstablishContext", status);
    char names[4096];
    DWORD namesLength = sizeof names;
    status = SCardListReaders(context, NULL, names, &namesLength);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardListReaders", status);
    SCARD_READERSTATE states[16];
    DWORD count = 0;
    for (const char* name = names; *name && count < 16; name += strlen(name) + 1) {
        memset(&states[count], 0, sizeof states[count]);
        states[count].szReader = name;
        states[count++].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    status = SCardGetStatusChange(context, 0, states, count);
    if (status != SCARD_S_SUCCESS && status != SCARD_E_TIMEOUT)
        return Fail("SCardGetStatusChange", status);
    const char* reader = NULL;
    for (DWORD i = 0; i < count && reader == NULL; ++i)
        if (states[i].dwEventState & SCARD_STATE_PRESENT)
            reader = states[i].szReader;
    if (reader == NULL)
        return Fail("no reader holds a card", 0);
    SCARDHANDLE card;
    DWORD protocol;
    status =
        SCardConnect(context, reader, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardConnect", status);
    BYTE response[258];
    DWORD responseLength = sizeof response;
    status = SCardTransmit(card, protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1, apdu, apduLength, NULL,
                           response, &responseLength);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardTransmit", status);
    for (DWORD i = 0; i < responseLength; ++i)
        printf("%02X ", response[i]);
    printf("\n");
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
    return 0;
}
