// The storage-card request core: the Length byte with the zeros behind short
// data, the class byte and GENERAL AUTHENTICATE, and the bounds of the
// destination; the follow-up an answer 61 xx or 6C xx asks for.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <winscard.h>

#include "core/compose/storage.h"
#include "core/transmit/follow_up.h"

namespace {

// The size of the window's request buffer.
constexpr uint32_t BUFFER_SIZE = 10000;

std::vector<BYTE> Bytes(std::initializer_list<int> values)
{
    return std::vector<BYTE>(values.begin(), values.end());
}

std::vector<BYTE> Concat(std::vector<BYTE> head, const std::string& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(StorageApdu, LengthDecidesHowManyBytesFollowTheHeaderAndTheRestIsZero)
{
    const std::vector<BYTE> twenty = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    constexpr StorageDialect CLASS_00 = {0x00, STORAGE_AUTH_LEGACY};
    constexpr StorageDialect CLASS_FF = {0xFF, STORAGE_AUTH_LEGACY};
    constexpr StorageDialect GENERAL = {0xFF, STORAGE_AUTH_GENERAL};
    struct {
        StorageCommand command;
        StorageDialect dialect;
        StorageFields fields;
        std::vector<BYTE> data;
        uint32_t capacity;
        std::vector<BYTE> request;  // empty: does not fit, nothing built
    } cases[] = {
        {STORAGE_UPDATE_BINARY,
         CLASS_00,
         {0, 6, 0, 16},
         Bytes({1, 2, 3}),
         BUFFER_SIZE,
         Concat(Bytes({0x00, 0xD6, 0x00, 0x06, 0x10, 1, 2, 3}), std::string(13, 0))},
        {STORAGE_UPDATE_BINARY,
         CLASS_00,
         {0, 6, 0, 255},
         Bytes({1, 2, 3}),
         BUFFER_SIZE,
         Concat(Bytes({0x00, 0xD6, 0x00, 0x06, 0xFF, 1, 2, 3}), std::string(252, 0))},
        {STORAGE_UPDATE_BINARY,
         CLASS_00,
         {0, 6, 0, 0},
         Bytes({1, 2, 3}),
         BUFFER_SIZE,
         Bytes({0x00, 0xD6, 0x00, 0x06, 0x00})},
        {STORAGE_LOAD_KEYS,
         CLASS_00,
         {0, 1, 0, 6},
         Bytes({0xA1, 0xA2}),
         BUFFER_SIZE,
         Bytes({0x00, 0x82, 0x00, 0x01, 0x06, 0xA1, 0xA2, 0, 0, 0, 0})},
        {STORAGE_LOAD_KEYS,
         CLASS_00,
         {0, 1, 0, 3},
         Bytes({0xA1, 0xA2, 0xA3, 0xA4}),
         BUFFER_SIZE,
         Bytes({0x00, 0x82, 0x00, 0x01, 0x03, 0xA1, 0xA2, 0xA3})},
        // Authenticate: the key type in place of Length, one byte of data.
        {STORAGE_AUTHENTICATE,
         CLASS_00,
         {0, 7, 0x60, 99},
         Bytes({}),
         BUFFER_SIZE,
         Bytes({0x00, 0x88, 0x00, 0x07, 0x60, 0x00})},
        {STORAGE_AUTHENTICATE,
         CLASS_00,
         {1, 7, 0x61, 0},
         Bytes({0x05, 0x06}),
         BUFFER_SIZE,
         Bytes({0x00, 0x88, 0x01, 0x07, 0x61, 0x05})},
        // No data goes with GetUID and Read, whatever the source holds.
        {STORAGE_GET_UID, CLASS_00, {0, 0, 0, 4}, twenty, BUFFER_SIZE, Bytes({0x00, 0xCA, 0x00, 0x00, 0x04})},
        {STORAGE_READ_BINARY, CLASS_00, {0, 6, 0, 16}, twenty, BUFFER_SIZE, Bytes({0x00, 0xB0, 0x00, 0x06, 0x10})},
        // Data beyond the destination stays out of it.
        {STORAGE_UPDATE_BINARY, CLASS_00, {0, 6, 0, 4}, twenty, 12, Bytes({0x00, 0xD6, 0x00, 0x06, 0x04, 1, 2, 3, 4})},
        {STORAGE_UPDATE_BINARY, CLASS_00, {0, 6, 0, 16}, twenty, 20, Bytes({})},
        // Class FF: the same requests with the reader's class byte.
        {STORAGE_GET_UID, CLASS_FF, {0, 0, 0, 0}, twenty, BUFFER_SIZE, Bytes({0xFF, 0xCA, 0x00, 0x00, 0x00})},
        {STORAGE_AUTHENTICATE,
         CLASS_FF,
         {0, 7, 0x60, 0},
         Bytes({0x01}),
         BUFFER_SIZE,
         Bytes({0xFF, 0x88, 0x00, 0x07, 0x60, 0x01})},
        {STORAGE_LOAD_KEYS,
         GENERAL,
         {0, 1, 0, 2},
         Bytes({0xA1}),
         BUFFER_SIZE,
         Bytes({0xFF, 0x82, 0x00, 0x01, 0x02, 0xA1, 0})},
        // GENERAL AUTHENTICATE: P1 P2 move into the data, the key number is
        // the data's first byte (0 for none), nothing else of the data goes.
        {STORAGE_AUTHENTICATE,
         GENERAL,
         {0, 7, 0x61, 99},
         Bytes({0x05, 0x06}),
         BUFFER_SIZE,
         Bytes({0xFF, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, 0x07, 0x61, 0x05})},
        {STORAGE_AUTHENTICATE,
         GENERAL,
         {0x01, 0x02, 0x60, 0},
         Bytes({}),
         BUFFER_SIZE,
         Bytes({0xFF, 0x86, 0x00, 0x00, 0x05, 0x01, 0x01, 0x02, 0x60, 0x00})},
        {STORAGE_AUTHENTICATE, GENERAL, {0, 7, 0x60, 0}, Bytes({0x05}), 9, Bytes({})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + " class " + std::to_string(c.dialect.cla) + " length "
                     + std::to_string(c.fields.length) + " in " + std::to_string(c.capacity));
        // What earlier requests, keys among them, left in the destination.
        std::vector<BYTE> dest(c.capacity + 4, 0xEE);
        uint32_t length = BuildStorageApdu(c.command, c.dialect, c.fields, c.data.data(), uint32_t(c.data.size()),
                                           dest.data(), c.capacity);
        ASSERT_EQ(length, c.request.size());
        EXPECT_EQ(std::vector<BYTE>(dest.begin(), dest.begin() + length), c.request);
        EXPECT_EQ(dest[c.capacity], 0xEE) << "wrote past the destination";
    }
}

// 61 xx: GET RESPONSE in the request's class; 6C xx: the request with Le
// xx in place of its Le, or added when it had none; nothing when the Le's
// place cannot be told or the follow-up does not fit.
TEST(FollowUp, AnswerDecidesTheNextRequest)
{
    struct {
        const char* what;
        std::vector<BYTE> request, answer;
        DWORD capacity;
        FollowUpKind kind;
        std::vector<BYTE> next;
    } cases[] = {
        {"61, class FF", Bytes({0xFF, 0xCA, 0, 0, 0}), Bytes({0x61, 0x10}), 16, FOLLOW_UP_GET_RESPONSE,
         Bytes({0xFF, 0xC0, 0, 0, 0x10})},
        {"61 after data", Bytes({0x00, 0xB0, 0, 4, 0x10}), Bytes({1, 2, 0x61, 0x00}), 16, FOLLOW_UP_GET_RESPONSE,
         Bytes({0x00, 0xC0, 0, 0, 0x00})},
        {"6C, Le replaced", Bytes({0x00, 0xB0, 0, 4, 0x20}), Bytes({0x6C, 0x10}), 16, FOLLOW_UP_LE_CORRECTION,
         Bytes({0x00, 0xB0, 0, 4, 0x10})},
        {"6C, no Le", Bytes({0x00, 0xCA, 0, 0}), Bytes({0x6C, 0x04}), 16, FOLLOW_UP_LE_CORRECTION,
         Bytes({0x00, 0xCA, 0, 0, 0x04})},
        {"6C, data and Le", Bytes({0x00, 0xA4, 4, 0, 2, 0xA0, 0x01, 0x00}), Bytes({0x6C, 0x20}), 16,
         FOLLOW_UP_LE_CORRECTION, Bytes({0x00, 0xA4, 4, 0, 2, 0xA0, 0x01, 0x20})},
        {"6C, data, no Le", Bytes({0x00, 0xA4, 4, 0, 2, 0xA0, 0x01}), Bytes({0x6C, 0x20}), 16, FOLLOW_UP_LE_CORRECTION,
         Bytes({0x00, 0xA4, 4, 0, 2, 0xA0, 0x01, 0x20})},
        {"6C, Lc not the length", Bytes({0x00, 0xA4, 4, 0, 5, 0xA0}), Bytes({0x6C, 0x20}), 16, FOLLOW_UP_NONE, {}},
        {"6C, extended", Bytes({0x00, 0xB0, 0, 0, 0, 0x01, 0x00}), Bytes({0x6C, 0x20}), 16, FOLLOW_UP_NONE, {}},
        {"6C, no room", Bytes({0x00, 0xB0, 0, 4, 0x20}), Bytes({0x6C, 0x10}), 4, FOLLOW_UP_NONE, {}},
        {"90 00", Bytes({0x00, 0xCA, 0, 0, 0}), Bytes({0x90, 0x00}), 16, FOLLOW_UP_NONE, {}},
        {"no status word", Bytes({0x00, 0xCA, 0, 0, 0}), Bytes({0x61}), 16, FOLLOW_UP_NONE, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> next(c.capacity + 1, 0xEE);
        DWORD length = 99;
        EXPECT_EQ(NextFollowUp(c.request.data(), DWORD(c.request.size()), c.answer.data(), DWORD(c.answer.size()),
                               next.data(), c.capacity, &length),
                  c.kind);
        ASSERT_EQ(length, c.next.size());
        EXPECT_EQ(std::vector<BYTE>(next.begin(), next.begin() + length), c.next);
        EXPECT_EQ(next[c.capacity], 0xEE) << "wrote past the buffer";
    }
}

}  // namespace
