// The storage-card request core: the Length byte with the zeros behind short
// data, and the bounds of the destination.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <winscard.h>

#include "core/compose/storage.h"

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
    struct {
        StorageCommand command;
        StorageFields fields;
        std::vector<BYTE> data;
        uint32_t capacity;
        std::vector<BYTE> request;  // empty: does not fit, nothing built
    } cases[] = {
        {STORAGE_UPDATE_BINARY,
         {0, 6, 0, 16},
         Bytes({1, 2, 3}),
         BUFFER_SIZE,
         Concat(Bytes({0x00, 0xD6, 0x00, 0x06, 0x10, 1, 2, 3}), std::string(13, 0))},
        {STORAGE_UPDATE_BINARY,
         {0, 6, 0, 255},
         Bytes({1, 2, 3}),
         BUFFER_SIZE,
         Concat(Bytes({0x00, 0xD6, 0x00, 0x06, 0xFF, 1, 2, 3}), std::string(252, 0))},
        {STORAGE_UPDATE_BINARY, {0, 6, 0, 0}, Bytes({1, 2, 3}), BUFFER_SIZE, Bytes({0x00, 0xD6, 0x00, 0x06, 0x00})},
        {STORAGE_LOAD_KEYS,
         {0, 1, 0, 6},
         Bytes({0xA1, 0xA2}),
         BUFFER_SIZE,
         Bytes({0x00, 0x82, 0x00, 0x01, 0x06, 0xA1, 0xA2, 0, 0, 0, 0})},
        {STORAGE_LOAD_KEYS,
         {0, 1, 0, 3},
         Bytes({0xA1, 0xA2, 0xA3, 0xA4}),
         BUFFER_SIZE,
         Bytes({0x00, 0x82, 0x00, 0x01, 0x03, 0xA1, 0xA2, 0xA3})},
        // Authenticate: the key type in place of Length, one byte of data.
        {STORAGE_AUTHENTICATE, {0, 7, 0x60, 99}, Bytes({}), BUFFER_SIZE, Bytes({0x00, 0x88, 0x00, 0x07, 0x60, 0x00})},
        {STORAGE_AUTHENTICATE,
         {1, 7, 0x61, 0},
         Bytes({0x05, 0x06}),
         BUFFER_SIZE,
         Bytes({0x00, 0x88, 0x01, 0x07, 0x61, 0x05})},
        // No data goes with GetUID and Read, whatever the source holds.
        {STORAGE_GET_UID, {0, 0, 0, 4}, twenty, BUFFER_SIZE, Bytes({0x00, 0xCA, 0x00, 0x00, 0x04})},
        {STORAGE_READ_BINARY, {0, 6, 0, 16}, twenty, BUFFER_SIZE, Bytes({0x00, 0xB0, 0x00, 0x06, 0x10})},
        // Data beyond the destination stays out of it.
        {STORAGE_UPDATE_BINARY, {0, 6, 0, 4}, twenty, 12, Bytes({0x00, 0xD6, 0x00, 0x06, 0x04, 1, 2, 3, 4})},
        {STORAGE_UPDATE_BINARY, {0, 6, 0, 16}, twenty, 20, Bytes({})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + " length " + std::to_string(c.fields.length) + " in "
                     + std::to_string(c.capacity));
        // What earlier requests, keys among them, left in the destination.
        std::vector<BYTE> dest(c.capacity + 4, 0xEE);
        uint32_t length =
            BuildStorageApdu(c.command, c.fields, c.data.data(), uint32_t(c.data.size()), dest.data(), c.capacity);
        ASSERT_EQ(length, c.request.size());
        EXPECT_EQ(std::vector<BYTE>(dest.begin(), dest.begin() + length), c.request);
        EXPECT_EQ(dest[c.capacity], 0xEE) << "wrote past the destination";
    }
}

}  // namespace
