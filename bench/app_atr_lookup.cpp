// Cost of naming a card from the known-ATR lists: one scan of pcsc-tools'
// list as installed here, IdentifyCard the first time (the list read and
// scanned), again for the same card (nothing read, nothing scanned) and for
// two cards in turn (a scan each), patterns of k repeated `.*` that
// backtracking takes exponential time over, and the worst list the bounds
// allow: a user's list of the largest size, every pattern of the most atoms,
// all of them alive to the last character. Prints medians and ratios;
// asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/pcsc/atr.h"

constexpr int RUNS = 101;
constexpr const char* SYSTEM_LIST = "/usr/share/pcsc/smartcard_list.txt";

static const uint8_t SIM[] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                              0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A};
static const uint8_t VICC[] = {0x3B, 0x95, 0x13, 0x81, 0x01, 0x80, 0x73, 0xFF, 0x01, 0x00, 0x0B};
static const uint8_t UNKNOWN[] = {0x3F, 0x01, 0x42};

static double NowUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The median microseconds of `runs` calls of `work`.
template<class Work> static double Median(int runs, Work work)
{
    static double times[RUNS];
    for (int i = 0; i < runs; i++) {
        const double start = NowUs();
        work(i);
        times[i] = NowUs() - start;
    }
    std::sort(times, times + runs);
    return times[runs / 2];
}

int main()
{
    char names[CARD_NAME_TEXT_SIZE];
    std::unique_ptr<AtrListFile> file(new AtrListFile {});
    const double read = Median(RUNS, [&](int) { ReadAtrList(SYSTEM_LIST, file.get()); });
    if (file->read != ATR_LIST_READ) {
        fprintf(stderr, "%s: not read (pcsc-tools installed?)\n", SYSTEM_LIST);
        return 1;
    }
    printf("%s: %zu bytes, read in %.1f us\n", SYSTEM_LIST, file->size, read);
    double scanSim = 0;
    const struct {
        const char* name;
        const uint8_t* atr;
        size_t length;
    } cards[] = {{"simulated reader's card", SIM, sizeof SIM},
                 {"vicc's card", VICC, sizeof VICC},
                 {"unknown card", UNKNOWN, sizeof UNKNOWN}};
    for (const auto& card : cards) {
        int entries = 0;
        const double scan = Median(RUNS, [&](int) {
            entries = FindAtrInList(file->text, file->size, card.atr, card.length, names, sizeof names);
        });
        scanSim = scanSim == 0 ? scan : scanSim;
        printf("one scan, %-24s %d entries: %8.1f us\n", card.name, entries, scan);
    }

    // IdentifyCard with a home of its own, where the user has no list.
    char home[] = "/tmp/qtu-bench-home.XXXXXX";
    if (!mkdtemp(home))
        return 1;
    setenv("HOME", home, 1);
    std::unique_ptr<KnownAtrLists> lists(new KnownAtrLists {});
    double start = NowUs();
    IdentifyCard(lists.get(), SIM, sizeof SIM, names, sizeof names);
    const double first = NowUs() - start;
    const double again = Median(RUNS, [&](int) { IdentifyCard(lists.get(), SIM, sizeof SIM, names, sizeof names); });
    const double turns = Median(RUNS, [&](int i) {
        if (i % 2)
            IdentifyCard(lists.get(), SIM, sizeof SIM, names, sizeof names);
        else
            IdentifyCard(lists.get(), VICC, sizeof VICC, names, sizeof names);
    });
    printf("IdentifyCard: first %.1f us, same card again %.1f us, two cards in turn %.1f us\n", first, again, turns);
    printf("  first / again %.0f, in turn / again %.0f\n", first / again, turns / again);

    // What backtracking takes exponential time over: k times ".*", then a
    // character the ATR does not end with. The matcher refuses "Z" before it
    // reads the text; "7" it runs to the end.
    std::string text = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";
    for (const char* last : {"Z", "7"}) {
        double three = 0;
        for (int k : {3, 6, 7, 20}) {
            std::string pattern;
            for (int i = 0; i < k; i++)
                pattern += ".*";
            pattern += last;
            const double took = Median(RUNS, [&](int) { AtrPatternMatches(pattern.c_str(), text.c_str()); });
            three = k == 3 ? took : three;
            printf("(.*) x %2d then %s: %6.2f us (%.1f x k = 3)\n", k, last, took, took / three);
        }
    }

    // The worst user's list: ATR_LIST_MAX_SIZE bytes of patterns of the most
    // atoms, every state alive until the last character fails.
    std::string line;
    for (size_t i = 0; i + 1 < ATR_PATTERN_MAX_ATOMS; i++)
        line += ".*";
    line += "7\n";
    std::string hostile;
    while (hostile.size() + line.size() <= ATR_LIST_MAX_SIZE)
        hostile += line;
    const std::string cached = std::string(home) + "/.cache";
    mkdir(cached.c_str(), 0700);
    std::ofstream(cached + "/smartcard_list.txt") << hostile;
    start = NowUs();
    IdentifyCard(lists.get(), SIM, sizeof SIM, names, sizeof names);
    const double hostileFirst = NowUs() - start;
    const double hostileScan =
        Median(11, [&](int) { FindAtrInList(hostile.data(), hostile.size(), SIM, sizeof SIM, names, sizeof names); });
    const double hostileAgain =
        Median(RUNS, [&](int) { IdentifyCard(lists.get(), SIM, sizeof SIM, names, sizeof names); });
    printf("worst user's list (%zu bytes, %zu patterns of %zu atoms): IdentifyCard first %.1f ms, scan %.1f ms, "
           "again %.1f us\n",
           hostile.size(), hostile.size() / line.size(), ATR_PATTERN_MAX_ATOMS, hostileFirst / 1000, hostileScan / 1000,
           hostileAgain);
    printf("  worst scan / scan of pcsc-tools' list %.0f\n", hostileScan / scanSim);

    unlink((cached + "/smartcard_list.txt").c_str());
    rmdir(cached.c_str());
    rmdir(home);
    return 0;
}
