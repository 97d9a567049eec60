// The 276-byte vendor record through SCardControl.
#include <cstring>
#include <string>

#include "pcsc_fixture.h"

namespace {

struct Record {
    uint8_t bytes[kRecordSize];
};

Record Request(uint8_t cmd, uint32_t pa = 0, uint32_t pb = 0, uint32_t pc = 0, uint8_t le = 0)
{
    Record r {};
    r.bytes[0] = cmd;
    for (int i = 0; i < 4; ++i) {
        r.bytes[4 + i] = uint8_t(pa >> 8 * i);
        r.bytes[8 + i] = uint8_t(pb >> 8 * i);
        r.bytes[12 + i] = uint8_t(pc >> 8 * i);
    }
    r.bytes[272] = le;
    return r;
}

class Vendor : public PcscTest {
protected:
    void SetUp() override
    {
        PcscTest::SetUp();
        ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    }

    LONG Control(const Record& request, Record* reply, DWORD code = kVendorCode, DWORD inSize = kRecordSize,
                 DWORD outSize = kRecordSize)
    {
        uint8_t in[kRecordSize + 8] = {}, out[kRecordSize + 8] = {};
        memcpy(in, request.bytes, kRecordSize);
        returned = 12345;
        const LONG status = SCardControl(card, code, in, inSize, out, outSize, &returned);
        memcpy(reply->bytes, out, kRecordSize);
        return status;
    }

    DWORD returned = 0;
};

TEST_F(Vendor, EachCommandAnswersWithARecord)
{
    const Record requests[] = {Request(0), Request(1), Request(2, 3, 100), Request(7, 200), Request(8, 0, 0, 0, 255)};
    for (const Record& request : requests) {
        Record reply;
        ASSERT_EQ(Control(request, &reply), SCARD_S_SUCCESS) << int(request.bytes[0]);
        EXPECT_EQ(returned, DWORD(kRecordSize));
        EXPECT_EQ(memcmp(reply.bytes, request.bytes, 16), 0) << "cmd, pa, pb and pc come back";
    }
    Record reply;
    ASSERT_EQ(Control(requests[4], &reply), SCARD_S_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.bytes + 16), reply.bytes[272]), "QSIM-1K 1.0.0");
}

TEST_F(Vendor, RfResetDropsTheAuthentication)
{
    Authenticate(5);
    ASSERT_EQ(Sw(Exchange(ReadApdu(5))), 0x9000);
    Record reply;
    ASSERT_EQ(Control(Request(7, 200), &reply), SCARD_S_SUCCESS);
    EXPECT_EQ(Sw(Exchange(ReadApdu(5))), 0x6982);
}

TEST_F(Vendor, MalformedRequestsFail)
{
    Record reply;
    EXPECT_EQ(Control(Request(3), &reply), SCARD_E_UNSUPPORTED_FEATURE) << "unknown command";
    EXPECT_EQ(Control(Request(0), &reply, SCARD_CTL_CODE(2049)), SCARD_E_UNSUPPORTED_FEATURE) << "other code";
    EXPECT_EQ(Control(Request(0), &reply, 0x312000), SCARD_E_UNSUPPORTED_FEATURE) << "the Win32 code";
    EXPECT_EQ(Control(Request(0), &reply, kVendorCode, kRecordSize - 1), SCARD_E_NOT_TRANSACTED) << "short";
    EXPECT_EQ(Control(Request(0), &reply, kVendorCode, kRecordSize + 1), SCARD_E_NOT_TRANSACTED) << "long";
    EXPECT_EQ(Control(Request(0), &reply, kVendorCode, kRecordSize, kRecordSize - 1), SCARD_E_INSUFFICIENT_BUFFER);
}

// Vendor requests concern the reader: they work on a direct connection to the empty reader.
TEST_F(Vendor, WorksWithoutACard)
{
    SCARDHANDLE direct = 0;
    DWORD directProtocol = 0;
    ASSERT_EQ(SCardConnect(context, SimReaderName(1).c_str(), SCARD_SHARE_DIRECT, 0, &direct, &directProtocol),
              SCARD_S_SUCCESS);
    uint8_t in[kRecordSize] = {1}, out[kRecordSize];
    EXPECT_EQ(SCardControl(direct, kVendorCode, in, kRecordSize, out, kRecordSize, &returned), SCARD_S_SUCCESS);
    SCardDisconnect(direct, SCARD_LEAVE_CARD);
}

}  // namespace
