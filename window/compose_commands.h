// What the composing handlers (data entry, storage commands, vendor requests)
// offer the rest of the window: the current data, the storage request and the
// vendor exchange as the form sets them up, and the set-up of the form.
#pragma once

#include <cstdint>

#include "ui/winsys.h"
#include "window/tester_state.h"

// The bytes of the current source (string, parsed hex or file) and their count.
const BYTE* CurrentEntryData(uint32_t* count);
// Copies the current source into `dest`, which holds *length bytes, never
// more. *length becomes the count copied; for the hex source with hexAsText
// the field's text is copied (terminated when shorter than the destination)
// and *length becomes the parsed byte count. Returns *length.
uint32_t CopyEntryData(BYTE* dest, uint32_t* length, bool hexAsText);

// Builds the request of `command` from the form into `dest` (BUFFER_SIZE
// bytes) and sets *length to the bytes to send. False, with the reason in the
// log, when a field cannot be read: nothing is to be sent.
bool ComposeStorageApdu(BYTE* dest, uint32_t* length, StorageCommand command);
void EnableComposerFields(bool enable);
// Set-up: the start texts of the data fields, the empty parameter fields and
// the saved form of every storage command.
void ShowComposerDefaults();

void EnableVendorControls(bool enable);
// Sets the vendor request's Le for `count` data bytes and shows the request.
void UpdateVendorLength(uint32_t count);
// Sends the vendor request the fields show, with the start of the send
// buffer as its data, and logs both records.
void ExecuteVendorIo();
// The popup of vendor commands, one item per command.
HMENU CreateVendorMenu();
