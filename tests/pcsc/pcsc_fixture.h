// Shared set-up of the tests that talk to the private pcscd through libpcsclite: every test
// starts with both simulated readers at their defaults and a fresh context.
#pragma once

#include <gtest/gtest.h>
#include <reader.h>
#include <winscard.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/wire/wire_format.h"
#include "sim_control.h"

using Bytes = std::vector<uint8_t>;

// RAW among them: pcscd leaves the card unnegotiated, in RAW mode.
constexpr DWORD ALL_PROTOCOLS = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1 | SCARD_PROTOCOL_RAW;

inline const Bytes TRANSPORT_KEY = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline const Bytes DEFAULT_UID = {0x04, 0xA1, 0xB2, 0xC3};
inline const Bytes GET_UID = {STORAGE_CLA, INS_GET_UID, 0x00, 0x00, 0x00};

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
        return SCardConnect(context, SimReaderName(reader).c_str(), SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, &card,
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

    // The response of an APDU that must go through.
    Bytes Exchange(const Bytes& apdu)
    {
        Bytes response;
        EXPECT_EQ(Transmit(apdu, &response), SCARD_S_SUCCESS);
        return response;
    }

    // A vendor request on the connected card; sizes other than the record's test the
    // driver's checks. `returned` receives the reply's size.
    LONG Control(const VendorIoRecord& request, VendorIoRecord* reply, DWORD code = VENDOR_CONTROL_CODE,
                 DWORD inSize = VENDOR_RECORD_SIZE, DWORD outSize = VENDOR_RECORD_SIZE)
    {
        uint8_t in[VENDOR_RECORD_SIZE + 8] = {}, out[VENDOR_RECORD_SIZE + 8] = {};
        memcpy(in, &request, sizeof request);
        returned = 12345;
        const LONG status = SCardControl(card, code, in, inSize, out, outSize, &returned);
        memcpy(reply, out, sizeof *reply);
        return status;
    }

    // Loads the transport key into slot 1 and authenticates to the sector of block with key A.
    void Authenticate(uint8_t block)
    {
        ASSERT_EQ(Sw(Exchange(LoadKeyApdu(1, TRANSPORT_KEY))), 0x9000);
        ASSERT_EQ(Sw(Exchange(AuthApdu(block, 0x60, 1))), 0x9000);
    }

    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    DWORD returned = 0;
};
