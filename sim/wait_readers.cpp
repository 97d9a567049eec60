// sim_wait_readers COUNT TIMEOUT_MS [card]
// Waits until pcscd answers and lists at least COUNT readers (with "card": and the first of
// them holds a card), then prints their names, one per line, in the order libpcsclite lists
// them. Exit status 1 when the time runs out.
#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Number of readers listed; their names are written into names (a multi-string).
int ListReaders(char* names, DWORD size)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return 0;
    DWORD length = size;
    int count = 0;
    if (SCardListReaders(context, nullptr, names, &length) == SCARD_S_SUCCESS)
        for (const char* name = names; *name; name += strlen(name) + 1)
            ++count;
    SCardReleaseContext(context);
    return count;
}

bool HoldsCard(const char* reader)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    SCARD_READERSTATE state {};
    state.szReader = reader;
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const bool present = SCardGetStatusChange(context, 0, &state, 1) == SCARD_S_SUCCESS
        && (state.dwEventState & SCARD_STATE_PRESENT) != 0;
    SCardReleaseContext(context);
    return present;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool wantCard = argc == 4 && strcmp(argv[3], "card") == 0;
    if (argc != 3 && !wantCard) {
        fprintf(stderr, "usage: %s COUNT TIMEOUT_MS [card]\n", argv[0]);
        return 2;
    }
    const int wanted = atoi(argv[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(atoi(argv[2]));
    char names[4096];
    int count = 0;
    while ((count = ListReaders(names, sizeof names)) < wanted || (wantCard && !HoldsCard(names))) {
        if (std::chrono::steady_clock::now() > deadline) {
            fprintf(stderr, "%s: %d of %d readers listed%s when the time ran out\n", argv[0], count, wanted,
                    count >= wanted ? ", no card in the first" : "");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const char* name = names; *name; name += strlen(name) + 1)
        puts(name);
    return 0;
}
