// The key=value language of the simulated reader's DEVICENAME and control file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings.h"

namespace {

TEST(SimSettings, DeviceNameAndControlFileForms)
{
    SimSettings s = DefaultSettings();
    EXPECT_TRUE(s.cardPresent);
    EXPECT_EQ(s.uid[1], 0xA1);
    ASSERT_TRUE(ApplySettings("card=none,uid=0a1B2c3D,ctl=/tmp/x/reader1.ctl", &s));
    EXPECT_FALSE(s.cardPresent);
    const uint8_t uid[4] = {0x0A, 0x1B, 0x2C, 0x3D};
    EXPECT_EQ(memcmp(s.uid, uid, 4), 0);
    EXPECT_STREQ(s.controlPath, "/tmp/x/reader1.ctl");

    ASSERT_TRUE(
        ApplySettings("fail_every=3\ndelay_us=250\r\n\nfail_control=1\ncard=storage1k\nbyte_delay_us=20\n", &s));
    EXPECT_EQ(s.byteDelayMicros, 20);
    EXPECT_TRUE(s.cardPresent);
    EXPECT_EQ(s.failEvery, 3);
    EXPECT_EQ(s.delayMicros, 250);
    EXPECT_TRUE(s.failControl);
    ASSERT_TRUE(ApplySettings(",fail_control=0\n,feature_list=bad_length", &s));
    EXPECT_FALSE(s.failControl);
    EXPECT_EQ(s.featureList, FEATURES_BAD_LENGTH);
    EXPECT_EQ(s.failEvery, 3) << "pairs not named keep their values";
    EXPECT_EQ(s.tapInMs, 1000);
    ASSERT_TRUE(ApplySettings("tap_count=3,tap_in_ms=150,tap_out_ms=600000,lose_card_at=7", &s));
    EXPECT_EQ(s.tapCount, 3);
    EXPECT_EQ(s.tapInMs, 150);
    EXPECT_EQ(s.tapOutMs, 600000);
    EXPECT_EQ(s.loseCardAt, 7);
}

// A bad pair is reported and skipped; the good pairs around it still apply.
TEST(SimSettings, BadPairsAreRejected)
{
    const std::string longPath = "ctl=/" + std::string(MAX_PATH_LENGTH, 'p');
    for (const std::string& bad :
         {std::string("card=mifare"), std::string("uid=04A1B2"), std::string("uid=04A1B2C3D4"),
          std::string("uid=04A1B2CG"), std::string("fail_every=-1"), std::string("fail_every="),
          std::string("fail_every=99999999999"), std::string("delay_us=5000001"), std::string("byte_delay_us=1001"),
          std::string("fail_control=2"), std::string("feature_list=cut2"), std::string("tap_in_ms=0"),
          std::string("tap_out_ms=600001"), std::string("tap_count=10001"), std::string("lose_card_at=x"),
          std::string("colour=red"), std::string("card"), std::string("ctl="), longPath}) {
        SimSettings s = DefaultSettings();
        EXPECT_FALSE(ApplySettings(("delay_us=7," + bad + ",fail_every=2").c_str(), &s)) << bad;
        EXPECT_EQ(s.delayMicros, 7) << bad;
        EXPECT_EQ(s.failEvery, 2) << bad;
        EXPECT_TRUE(s.cardPresent) << bad;
        EXPECT_EQ(s.uid[0], 0x04) << bad;
        EXPECT_STREQ(s.controlPath, "") << bad;
    }
}

}  // namespace
