// The insight panel: the logarithmic bins and the CSV file (cores, no
// window).
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "output/histogram.h"
#include "output/samples_csv.h"
#include "transmit/transmit.h"

namespace {

TEST(LoopHistogram, BinsFollowTheLogGridAndHoldEveryTime)
{
    const double step = std::pow(10.0, 1.0 / 20);
    struct Case {
        const char* what;
        std::vector<int64_t> ns;
        int32_t capacity;
        double firstEdgeUs;             // upper edge of bin 0, where bin 1 starts
        std::vector<int32_t> nonEmpty;  // the bins holding times, after bin 0
        std::vector<int32_t> counts;    // their counts
        int32_t bins;
    } cases[] = {
        {"one time on an edge", {10000, 10000, 10000}, 100, 10.0, {1}, {3}, 2},
        {"just below an edge, and on it", {9999, 10000}, 100, 10.0 / step, {1, 2}, {1, 1}, 3},
        {"a bulk and an outlier", {10000, 5000000, 10000, 10500}, 100, 10.0, {1, 54}, {3, 1}, 55},
        {"below 1 ns counts as 1 ns", {0, -5, 1}, 100, 0.001, {1}, {3}, 2},
        {"beyond the capacity into the last bin", {10000, 1000000000, 12000}, 4, 10.0, {1, 2, 3}, {1, 1, 1}, 4},
        {"no times", {}, 100, 0, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double edges[101];
        int32_t counts[101];
        std::fill(counts, counts + 101, -1);
        int32_t bins = BinLogScaled(c.ns.data(), int32_t(c.ns.size()), edges, counts, c.capacity);
        ASSERT_EQ(bins, c.bins);
        EXPECT_EQ(counts[bins], -1) << "nothing beyond the bins";
        if (bins == 0)
            continue;
        EXPECT_NEAR(edges[0], c.firstEdgeUs, c.firstEdgeUs * 1e-9);
        EXPECT_EQ(counts[0], 0);
        for (int32_t bin = 1; bin < bins; ++bin)
            EXPECT_NEAR(edges[bin] / edges[bin - 1], step, 1e-9) << bin;
        std::vector<int32_t> nonEmpty, held;
        for (int32_t bin = 1; bin < bins; ++bin)
            if (counts[bin] != 0) {
                nonEmpty.push_back(bin);
                held.push_back(counts[bin]);
            }
        EXPECT_EQ(nonEmpty, c.nonEmpty);
        EXPECT_EQ(held, c.counts);
    }
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The file is whole or untouched: a write that fails part way (here at a
// file size limit) leaves the old file and no temporary one.
TEST(SamplesCsv, WrittenWholeOrNotAtAll)
{
    char folder[] = "/tmp/qtu-csv-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string target = std::string(folder) + "/samples.csv";
    static int64_t ns[LOOP_COUNT_MAX];
    static LONG status[LOOP_COUNT_MAX];
    static uint16_t sw[LOOP_COUNT_MAX];
    ns[0] = 10350, ns[1] = 250000, ns[2] = 9999999999;
    status[1] = LONG(SCARD_E_NOT_TRANSACTED);
    sw[0] = 0x9000, sw[2] = 0x6A82;
    const std::string three = "run,ns,pcsc,sw\n1,10350,0x00000000,90 00\n2,250000,0x80100016,\n"
                              "3,9999999999,0x00000000,6A 82\n";
    struct Case {
        const char* what;
        std::string path;
        int32_t runs;
        rlim_t sizeLimit;  // RLIM_INFINITY: none
        int error;
        std::string content;  // of the target afterwards
    } cases[] = {
        {"three runs", target, 3, RLIM_INFINITY, 0, three},
        {"a write fails part way", target, LOOP_COUNT_MAX, 4096, EFBIG, three},
        {"no such folder", std::string(folder) + "/gone/samples.csv", 3, RLIM_INFINITY, ENOENT, three},
    };
    mode_t mask = umask(022);
    signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = {c.sizeLimit, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        int error = WriteSamplesCsv(c.path.c_str(), ns, status, sw, c.runs);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(error, c.error) << strerror(error);
        EXPECT_EQ(FileText(target), c.content);
        struct stat info { };
        stat(target.c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        std::string listing = "ls -A '" + std::string(folder) + "' | grep -vx samples.csv";
        EXPECT_NE(system(listing.c_str()), 0) << "a temporary file was left";
    }
    signal(SIGXFSZ, SIG_DFL);
    umask(mask);
    EXPECT_EQ(system(("rm -rf '" + std::string(folder) + "'").c_str()), 0);
}

}  // namespace
