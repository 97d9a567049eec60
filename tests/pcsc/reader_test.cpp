// The simulated reader as the PC/SC stack shows it: context, reader list, connection, ATR,
// attributes, and the driver's entry points.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "pcsc_fixture.h"
#include "sim/card_atr.h"

namespace {

const Bytes CARD_ATR(STORAGE_ATR, STORAGE_ATR + ATR_SIZE);

Bytes AsBytes(const std::string& text)
{
    return Bytes(text.c_str(), text.c_str() + text.size() + 1);
}
Bytes Le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

TEST(DriverLibrary, ExportsAllTenEntryPoints)
{
    void* library = dlopen(SIM_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"IFDHCreateChannelByName", "IFDHCreateChannel", "IFDHCloseChannel", "IFDHGetCapabilities",
                             "IFDHSetCapabilities", "IFDHSetProtocolParameters", "IFDHPowerICC", "IFDHTransmitToICC",
                             "IFDHControl", "IFDHICCPresence"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    dlclose(library);
}

class Reader : public PcscTest {
protected:
    LONG Attribute(DWORD id, Bytes* value)
    {
        uint8_t buffer[264] = {};
        DWORD length = sizeof buffer;
        const LONG status = SCardGetAttrib(card, id, buffer, &length);
        value->assign(buffer, buffer + (status == SCARD_S_SUCCESS ? length : 0));
        return status;
    }
};

TEST_F(Reader, ContextIsValidUntilReleased)
{
    EXPECT_EQ(SCardIsValidContext(context), SCARD_S_SUCCESS);
    SCARDCONTEXT second = 0;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &second), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardReleaseContext(second), SCARD_S_SUCCESS);
    EXPECT_NE(SCardIsValidContext(second), SCARD_S_SUCCESS);
}

TEST_F(Reader, ListsBothReadersInOrder)
{
    char names[1024];
    DWORD length = sizeof names;
    ASSERT_EQ(SCardListReaders(context, nullptr, names, &length), SCARD_S_SUCCESS);
    const std::string first = names;
    const std::string second = names + first.size() + 1;
    EXPECT_EQ(first, SimReaderName(0));
    EXPECT_EQ(second, SimReaderName(1));
    EXPECT_EQ(length, first.size() + second.size() + 3) << "two names and the closing empty one";
}

TEST_F(Reader, ConnectsExclusivelyAndShowsTheAtr)
{
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    EXPECT_EQ(protocol, DWORD(SCARD_PROTOCOL_RAW)) << "pcscd takes RAW when it is offered";

    char name[200];
    DWORD nameLength = sizeof name, state = 0, activeProtocol = 0, atrLength = 0;
    uint8_t atr[MAX_ATR_SIZE];
    atrLength = sizeof atr;
    ASSERT_EQ(SCardStatus(card, name, &nameLength, &state, &activeProtocol, atr, &atrLength), SCARD_S_SUCCESS);
    EXPECT_EQ(Bytes(atr, atr + atrLength), CARD_ATR);
    EXPECT_EQ(activeProtocol, protocol);

    SCARDCONTEXT other = 0;
    SCARDHANDLE otherCard = 0;
    DWORD otherProtocol = 0;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &other), SCARD_S_SUCCESS);
    EXPECT_EQ(
        SCardConnect(other, SimReaderName(0).c_str(), SCARD_SHARE_SHARED, ALL_PROTOCOLS, &otherCard, &otherProtocol),
        SCARD_E_SHARING_VIOLATION);
    SCardReleaseContext(other);
}

// Without RAW on offer pcscd negotiates a protocol with the driver. A card that pcscd
// already speaks to in RAW stays so until it is reset, hence the power-down first.
TEST_F(Reader, NegotiatesAProtocolWithoutRaw)
{
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    ASSERT_EQ(SCardDisconnect(card, SCARD_UNPOWER_CARD), SCARD_S_SUCCESS);
    ASSERT_EQ(SCardConnect(context, SimReaderName(0).c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol),
              SCARD_S_SUCCESS);
    EXPECT_TRUE(protocol == SCARD_PROTOCOL_T0 || protocol == SCARD_PROTOCOL_T1) << protocol;
    Bytes value;
    ASSERT_EQ(Attribute(SCARD_ATTR_CURRENT_PROTOCOL_TYPE, &value), SCARD_S_SUCCESS);
    EXPECT_EQ(value, Le32(uint32_t(protocol)));
    EXPECT_EQ(Exchange(GET_UID), Cat(DEFAULT_UID, {0x90, 0x00}));
}

TEST_F(Reader, EmptyReaderHasNoCard)
{
    EXPECT_EQ(Connect(1), SCARD_E_NO_SMARTCARD);
}

// pcscd powers the card down between connections; every power-up must give the card back.
TEST_F(Reader, PowersUpAgainAndAgain)
{
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(Connect(), SCARD_S_SUCCESS) << round;
        EXPECT_EQ(Exchange(GET_UID), Cat(DEFAULT_UID, {0x90, 0x00}));
        ASSERT_EQ(SCardDisconnect(card, SCARD_UNPOWER_CARD), SCARD_S_SUCCESS);
        card = 0;
    }
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, SCARD_RESET_CARD, &protocol), SCARD_S_SUCCESS);
    EXPECT_EQ(SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, SCARD_UNPOWER_CARD, &protocol),
              SCARD_S_SUCCESS);
    EXPECT_EQ(Sw(Exchange(GET_UID)), 0x9000);
}

// Every attribute of the tester's report, in its order.
TEST_F(Reader, AnswersEveryAttributeOfTheReport)
{
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    const struct {
        DWORD id;
        Bytes expected;
    } attributes[] = {
        {SCARD_ATTR_ATR_STRING, CARD_ATR},
        {SCARD_ATTR_CHANNEL_ID, Le32(0x00200000)},
        {SCARD_ATTR_CHARACTERISTICS, Le32(0)},
        {SCARD_ATTR_CURRENT_CLK, Le32(13560)},
        {SCARD_ATTR_CURRENT_PROTOCOL_TYPE, Le32(uint32_t(protocol))},
        {SCARD_ATTR_DEFAULT_CLK, Le32(13560)},
        {SCARD_ATTR_DEFAULT_DATA_RATE, Le32(106000)},
        {SCARD_ATTR_DEVICE_FRIENDLY_NAME_A, AsBytes(SimReaderName(0))},
        {SCARD_ATTR_DEVICE_SYSTEM_NAME_A, AsBytes(SimReaderName(0))},
        {SCARD_ATTR_DEVICE_UNIT, Le32(0)},
        {SCARD_ATTR_ICC_INTERFACE_STATUS, {1}},
        {SCARD_ATTR_ICC_PRESENCE, {2}},
        {SCARD_ATTR_ICC_TYPE_PER_ATR, {1}},
        {SCARD_ATTR_MAX_CLK, Le32(13560)},
        {SCARD_ATTR_MAX_DATA_RATE, Le32(848000)},
        {SCARD_ATTR_POWER_MGMT_SUPPORT, Le32(1)},
        {SCARD_ATTR_VENDOR_IFD_TYPE, AsBytes("Simulated Contactless Reader")},
        {SCARD_ATTR_VENDOR_IFD_VERSION, Le32(0x01000001)},
        {SCARD_ATTR_VENDOR_NAME, AsBytes("Quarnel")},
    };
    for (const auto& attribute : attributes) {
        Bytes value;
        EXPECT_EQ(Attribute(attribute.id, &value), SCARD_S_SUCCESS) << std::hex << attribute.id;
        EXPECT_EQ(value, attribute.expected) << std::hex << attribute.id;
    }
}

TEST_F(Reader, UnknownAttributeIsUnsupported)
{
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    Bytes value;
    EXPECT_EQ(Attribute(SCARD_ATTR_VENDOR_IFD_SERIAL_NO, &value), SCARD_E_UNSUPPORTED_FEATURE);
}

}  // namespace
