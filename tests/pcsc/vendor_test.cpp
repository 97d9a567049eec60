// The 276-byte vendor record through SCardControl, at the fixed code and at
// the CCID escape, and the reader's feature and property lists.
#include <string>

#include "pcsc_fixture.h"
#include "sim/card_model.h"

namespace {

VendorIoRecord Request(uint8_t cmd, uint32_t pa = 0, uint32_t pb = 0, uint32_t pc = 0, uint8_t le = 0)
{
    VendorIoRecord request {};
    request.cmd = cmd;
    request.pa = pa;
    request.pb = pb;
    request.pc = pc;
    request.le = le;
    return request;
}

class Vendor : public PcscTest {
protected:
    void SetUp() override
    {
        PcscTest::SetUp();
        ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    }
};

TEST_F(Vendor, EachCommandAnswersWithARecord)
{
    const VendorIoRecord requests[] = {Request(VENDOR_LED_OFF), Request(VENDOR_LED_ON),
                                       Request(VENDOR_FLASH_LED, 3, 100), Request(VENDOR_RF_RESET, 200),
                                       Request(VENDOR_FIRMWARE_REVISION, 0, 0, 0, 255)};
    // The escape takes the same record as the fixed code.
    for (DWORD code : {VENDOR_CONTROL_CODE, SIM_ESCAPE_CODE}) {
        for (const VendorIoRecord& request : requests) {
            VendorIoRecord reply;
            ASSERT_EQ(Control(request, &reply, code), SCARD_S_SUCCESS) << int(request.cmd);
            EXPECT_EQ(returned, DWORD(VENDOR_RECORD_SIZE));
            EXPECT_EQ(memcmp(&reply, &request, offsetof(VendorIoRecord, data)), 0) << "cmd, pa, pb and pc come back";
        }
        VendorIoRecord reply;
        ASSERT_EQ(Control(requests[4], &reply, code), SCARD_S_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data), reply.le), "QSIM-1K 1.0.0");
    }
}

TEST_F(Vendor, RfResetDropsTheAuthentication)
{
    Authenticate(5);
    ASSERT_EQ(Sw(Exchange(ReadApdu(5))), 0x9000);
    VendorIoRecord reply;
    ASSERT_EQ(Control(Request(VENDOR_RF_RESET, 200), &reply), SCARD_S_SUCCESS);
    EXPECT_EQ(Sw(Exchange(ReadApdu(5))), 0x6982);
}

TEST_F(Vendor, MalformedRequestsFail)
{
    const DWORD SIZE = VENDOR_RECORD_SIZE;
    const DWORD CODE = VENDOR_CONTROL_CODE;
    VendorIoRecord reply;
    EXPECT_EQ(Control(Request(3), &reply), SCARD_E_UNSUPPORTED_FEATURE) << "unknown command";
    EXPECT_EQ(Control(Request(0), &reply, SCARD_CTL_CODE(2049)), SCARD_E_UNSUPPORTED_FEATURE) << "other code";
    EXPECT_EQ(Control(Request(0), &reply, 0x312000), SCARD_E_UNSUPPORTED_FEATURE) << "the Win32 code";
    EXPECT_EQ(Control(Request(0), &reply, SCARD_CTL_CODE(1)), SCARD_E_UNSUPPORTED_FEATURE) << "CCID's exchange";
    EXPECT_EQ(Control(Request(0), &reply, CODE, SIZE - 1), SCARD_E_NOT_TRANSACTED) << "short";
    EXPECT_EQ(Control(Request(0), &reply, CODE, SIZE + 1), SCARD_E_NOT_TRANSACTED) << "long";
    EXPECT_EQ(Control(Request(0), &reply, CODE, SIZE, SIZE - 1), SCARD_E_INSUFFICIENT_BUFFER);
}

// The feature list as the settings cut it, and the properties at the code it gives.
TEST_F(Vendor, FeatureListAndProperties)
{
    const Bytes whole = {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13, 4, 0x42, 0x33, 0x00, 0x13};
    struct Case {
        const char* featureList;
        Bytes answer;
    } cases[] = {
        {"whole", whole},
        {"cut", Bytes(whole.begin(), whole.end() - 2)},
        {"bad_length", {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13, 2, 0x42, 0x33}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SimSetKey(0, "feature_list", c.featureList));
        Bytes answer(MAX_BUFFER_SIZE);
        ASSERT_EQ(SCardControl(card, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, answer.data(), DWORD(answer.size()),
                               &returned),
                  SCARD_S_SUCCESS);
        answer.resize(returned);
        EXPECT_EQ(answer, c.answer) << c.featureList;
    }
    SimReset(0);
    Bytes properties(MAX_BUFFER_SIZE);
    ASSERT_EQ(
        SCardControl(card, SIM_TLV_PROPERTIES_CODE, nullptr, 0, properties.data(), DWORD(properties.size()), &returned),
        SCARD_S_SUCCESS);
    const std::string text(properties.begin(), properties.begin() + returned);
    EXPECT_NE(text.find(std::string("\x08\x0DQSIM-1K 1.0.0", 15)), std::string::npos) << "sFirmwareID";
    EXPECT_NE(text.find(std::string("\x0B\x02\x09\x12\x0C\x02\x53\x51", 8)), std::string::npos)
        << "wIdVendor and wIdProduct little-endian";
    EXPECT_EQ(SCardControl(card, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, properties.data(), 11, &returned),
              SCARD_E_INSUFFICIENT_BUFFER);
}

// Vendor requests concern the reader: they work on a direct connection to the empty reader.
TEST_F(Vendor, WorksWithoutACard)
{
    SCARDHANDLE direct = 0;
    DWORD directProtocol = 0;
    ASSERT_EQ(SCardConnect(context, SimReaderName(1).c_str(), SCARD_SHARE_DIRECT, 0, &direct, &directProtocol),
              SCARD_S_SUCCESS);
    VendorIoRecord request = Request(VENDOR_LED_ON), reply;
    EXPECT_EQ(
        SCardControl(direct, VENDOR_CONTROL_CODE, &request, VENDOR_RECORD_SIZE, &reply, VENDOR_RECORD_SIZE, &returned),
        SCARD_S_SUCCESS);
    SCardDisconnect(direct, SCARD_LEAVE_CARD);
}

}  // namespace
