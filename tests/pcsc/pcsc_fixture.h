// Shared set-up of the tests that talk to the private pcscd through libpcsclite: every test
// starts with both simulated readers at their defaults and a fresh context.
#pragma once

#include <gtest/gtest.h>
#include <reader.h>
#include <winscard.h>

#include <cstdint>
#include <vector>

#include "pcsc/wire_format.h"
#include "sim_control.h"

using Bytes = std::vector<uint8_t>;

constexpr DWORD kAllProtocols = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1 | SCARD_PROTOCOL_RAW;

inline const Bytes kTransportKey = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline const Bytes kGetUid = {STORAGE_CLA, INS_GET_UID, 0x00, 0x00, 0x00};
inline const Bytes kDefaultUid = {0x04, 0xA1, 0xB2, 0xC3};

inline Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline uint16_t Sw(const Bytes& response)
{
    return response.size() < 2 ? 0 : uint16_t(response[response.size() - 2] << 8 | response.back());
}

inline Bytes LoadKeyApdu(uint8_t slot, const Bytes& key)
{
    return Cat({STORAGE_CLA, INS_LOAD_KEYS, 0x00, slot, 0x06}, key);
}
inline Bytes AuthApdu(uint8_t block, uint8_t keyType, uint8_t slot)
{
    return {STORAGE_CLA, INS_AUTHENTICATE, 0x00, block, keyType, slot};
}
inline Bytes ReadApdu(uint8_t block)
{
    return {STORAGE_CLA, INS_READ_BINARY, 0x00, block, 0x10};
}
inline Bytes UpdateApdu(uint8_t block, const Bytes& data)
{
    return Cat({STORAGE_CLA, INS_UPDATE_BINARY, 0x00, block, 0x10}, data);
}

class PcscTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SimReaderName(0).empty()) << "run inside scripts/with-sim-pcscd";
        SimReset(0);
        SimReset(1);
        ASSERT_TRUE(SimWaitForCard(0, true));
        ASSERT_TRUE(SimWaitForCard(1, false));
        ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    }

    void TearDown() override
    {
        if (card)
            SCardDisconnect(card, SCARD_LEAVE_CARD);
        SCardReleaseContext(context);
        SimReset(0);
        SimReset(1);
    }

    LONG Connect(int reader = 0)
    {
        return SCardConnect(context, SimReaderName(reader).c_str(), SCARD_SHARE_EXCLUSIVE, kAllProtocols, &card,
                            &protocol);
    }

    // Sends an APDU on the connected card; returns the status of the call.
    LONG Transmit(const Bytes& apdu, Bytes* response)
    {
        uint8_t buffer[300];
        DWORD length = sizeof buffer;
        const LONG status = SCardTransmit(card, SendPci(protocol), apdu.data(), apdu.size(), nullptr, buffer, &length);
        response->assign(buffer, buffer + (status == SCARD_S_SUCCESS ? length : 0));
        return status;
    }

    // A zero vendor request record with command `cmd` on `handle`; the status of the call.
    static LONG VendorRequest(SCARDHANDLE handle, uint8_t cmd = VENDOR_LED_OFF)
    {
        VendorIoRecord in {}, out {};
        in.cmd = cmd;
        DWORD returned = 0;
        return SCardControl(handle, VENDOR_CONTROL_CODE, &in, sizeof in, &out, sizeof out, &returned);
    }

    // The response of an APDU that must go through.
    Bytes Exchange(const Bytes& apdu)
    {
        Bytes response;
        EXPECT_EQ(Transmit(apdu, &response), SCARD_S_SUCCESS);
        return response;
    }

    // Loads the transport key into slot 1 and authenticates to the sector of block with key A.
    void Authenticate(uint8_t block)
    {
        ASSERT_EQ(Sw(Exchange(LoadKeyApdu(1, kTransportKey))), 0x9000);
        ASSERT_EQ(Sw(Exchange(AuthApdu(block, 0x60, 1))), 0x9000);
    }

    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
};
