"""The command line as a lab or a CI job runs it: the built program as its own
process against the private pcscd, its stdout, stderr and exit status.
    cli_test.py PROGRAM VERSION           the simulated readers (scripts/with-sim-pcscd)
    cli_test.py PROGRAM VERSION --peer    vpcd and vicc (scripts/with-sim-pcscd --peer)
Expected lines are fnmatch patterns ("*" stands for a time); every JSON object
must carry exactly the documented fields, in their order. Arguments and output
are bytes: a name that is not UTF-8 is written with surrogate escapes
("caf\udce9" for the bytes 63 61 66 E9), as Python gives file names."""

import fnmatch
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

SIM_ATR = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"
UID_EXCHANGE = ["SCardTransmit: Input:", "00 CA 00 00 00 ", "SCardTransmit: Output:", "04 A1 B2 C3 90 00 ",
                "Status: 0x00000000 SCARD_S_SUCCESS: Command successful.", "SW: 90 00: Normal processing",
                "Elapsed: * ms"]
CONNECTED = ["Reader: {r0}", "SCardConnect: OK, protocol = 0x00000002."]
STATUS = ["status", "status_name", "status_alias", "status_text"]
FIELDS = {  # as the README lists them
    "reader": ["type", "index", "reader", "state", "atr"],
    "attribute": ["type", "reader", "attribute", "id", *STATUS, "bytes", "value", "decoded"],
    "exchange": ["type", "reader", "command", "response", *STATUS, "sw", "sw_meaning", "ms", "expected", "ok"],
    "reset": ["type", "reader", "reset", "protocol", "atr", "atr_changed", *STATUS, "ms", "ok"],
    "transaction": ["type", "reader", "transaction", *STATUS, "ms", "ok"],
    "vendor": ["type", "reader", "code", "cmd", "pa", "pb", "pc", "le", "data", *STATUS, "ms", "reply", "ok"],
    "event": ["type", "sequence", "time_s", "time", "event", "reader", "state", "atr", "inferred", *STATUS],
    "error": ["type", "command", "call", *STATUS],
    "atr": ["type", "reader", "atr", "verdict", "lines", "cards"],
    "environment": ["type", "tool", "pcsclite_compiled", "pcsclite_library", "pcscd", "reader", "ifd_vendor",
                    "ifd_type", "ifd_version", "ifd_serial", "driver", "kernel", "host", "date", "caveat"],
    "suite": ["type", "id", "suite", "line", "reader", "verdict", *STATUS, "runs", "planned", "complete", "stopped",
              "measured", "limits", "fit", "atr", "note", "ms"],
    "control": ["type", "reader", "code", "request", "reply", *STATUS, "ms", "ok"],
    "features": ["type", "reader", "code", *STATUS, "ms", "reply", "features", "stop", "escape", "ok"],
    "properties": ["type", "reader", "code", *STATUS, "ms", "reply", "properties", "stop", "ok"],
}
FIELDS["passport"] = ["type", "reader", "environment", "card", "connection", "atr", "attributes", "features",
                      "properties", "protocols", "timing"]
FIELDS["loop"] = FIELDS["exchange"][:-1] + ["runs", "runs_made", "first_failure", "outcomes", "other_runs",
                                            "times_us", "ok"]
# Script objects carry the line after the reader.
FIELDS["script exchange"] = FIELDS["exchange"][:2] + ["line"] + FIELDS["exchange"][2:]
FIELDS["script reset"] = FIELDS["reset"][:2] + ["line"] + FIELDS["reset"][2:]
# A follow-up (--get-response) names its kind after the reader.
FIELDS["follow-up exchange"] = FIELDS["exchange"][:2] + ["follow_up"] + FIELDS["exchange"][2:]
FIELDS["script transaction"] = FIELDS["transaction"][:2] + ["line"] + FIELDS["transaction"][2:]

SCRIPTS = {
    # scriptor's own form: comments, reset, bytes with and without blanks, a
    # continued line, and exit before a line that would fail.
    "scriptor.txt": "# GetUID twice\nreset\n00 CA 00 00 00\n00CA000000\n\nFF CA 00 \\\n00 00\nexit\n00 CA\n",
    "loop.apdu": "loop 2\n  00 CA 00 00 00  # GetUID\n  expect 90 00\nend\n00 B0 00 04 10\nexpect 6982\n",
    "stops.apdu": "00 CA 00 00\nexpect 9000\n00CA000000\n",
    "odd.apdu": "00CA000000\n00 CA 0\n",
    "word.apdu": "select 3F00\n",
    "noend.apdu": "reset\nloop 3\n00CA000000\n",
    "end.apdu": "end\n",
    "expect.apdu": "reset\nexpect 9000\n",
    "zero.apdu": "loop 0\nend\n",
    "nocheck.apdu": "00CA000000\nexpect 00 00\n",
    # Qualification plans: one to pass on the simulated card, one with a limit no reader meets, one bad.
    "pass.plan": "# every suite\nsuite stability apdu=FFCA000000 runs=100 expect=9000\nlimit failures = 0\n"
                 "limit p99_us < 1e6\nsuite sweep lc header=FFD60004 from=1 to=16 step=5 runs=2\n"
                 "limit failed_lengths = 0\nsuite power cycles=3\nlimit atr_changes = 0\n",
    "fail.plan": "suite stability id=fast apdu=FFCA000000 runs=10\nlimit max_us < 0.001\n"
                 "suite power cycles=2 mode=reconnect\nlimit failures = 0\n",
    "bad.plan": "suite power\nlimit failures = 0\nlimit atr_changes <> 0\n",
    # The last end finds no transaction open: pcscd's status, shown.
    "pair.apdu": "begin transaction\nreset cold\n00CA000000\nend transaction\nend transaction\n",
    # Files compare refuses: cut short, of no kind it compares, of both kinds.
    "cut.json": '{"type":"passport",\n"reader":',
    "plain.json": '[1, 2]\n',
    "mixed.json": '{"type":"suite","id":"a","verdict":"pass"}\n{"type":"passport"}\n',
    "run.json": '{"type":"suite","id":"a","verdict":"pass"}\n',
    "one.json": '{"type":"passport"}\n',
    "esc.json": '{"type":"passport","\\u001b[2J":"\\u001b"}\n',
    # A name that is not UTF-8 (Latin-1 "café") opens as given and is printed as given.
    "caf\udce9.apdu": "00CA000000\n",
}

SEND_HELP = [
    "Usage: quarnel-test-utility [options] send HEX...",
    "Sends one APDU, or with --loop the same APDU N times, and prints the exchange.",
    "",
    "Options:",
    "  -h, --help         Displays this help.",
    "  -j, --json         One JSON object a line (the README names the fields).",
    "  -r, --reader <R>   The reader: its name or its index in the list (default:",
    "                     the first reader with a card).",
    "  --loop <N>         Sends the APDU N times, 1 to 5000, and prints the loop's",
    "                     summary.",
    "  --expect <SW>      The status word every answer must end with, as 9000.",
    "  --get-response     After 61 xx sends GET RESPONSE, after 6C xx the APDU again",
    "                     with Le xx, each its own exchange, at most 16; a --loop",
    "                     makes none (each run times one exchange).",
    "  --samples <FILE>   Writes every exchange's time, PC/SC code and SW as CSV",
    "                     into FILE.",
    "  --share <MODE>     How to share the reader: exclusive (default), shared or",
    "                     direct.",
    "  --protocol <P>     The protocols offered: any (default: T=0 or T=1, else",
    "                     RAW), t0, t1 or raw.",
    "  --disposition <D>  How the connection ends: leave (default), reset, unpower",
    "                     or eject the card.",
    "",
    "Arguments:",
    "  send",
    "  HEX                The APDU in hex, blanks allowed: 00CA000000 or 00 CA 00 00",
    "                     00.",
]
# Hex arguments of 32767 bytes each: three make an APDU beyond the largest
# pcsc-lite takes (65548 bytes), two and a byte the largest the sim answers.
HALF_APDU = "00" * 32767
SHOUT = "quarnel-test-utility: "
QUALIFY_CAVEAT = "Times are host-side: each holds USB, pcscd and the reader driver, never the RF exchange alone."
# The window's decoding of the sim's ATR; HOME's list names the card.
SIM_ATR_LINES = ["TS = 3B: direct convention", "T0 = 8F: Y1 = 8 (TD1), K = 15 historical bytes",
                 "TD1 = 80: protocol T=0, Y2 = 8 (TD2)", "TD2 = 01: protocol T=1, Y3 = 0 (none)",
                 "Protocols offered: T=0 T=1", "Historical bytes (15): 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00",
                 "Category 80: compact-TLV data objects",
                 "PC/SC contactless card: standard 03 (ISO 14443 A, part 3), card name 00 01 (MIFARE Classic 1K)",
                 "TCK = 6A: right"]
HOME_CARD = "Quarnel test card"
SIM_ATR_DUMP = "3B 8F 80 01 80 4F 0C A0   00 00 03 06 03 00 01 00   00 00 00 6A "

SIM_CASES = [
    # arguments, exit status, then any of: stdin (its text, else empty), out (every line), has (some lines),
    # json (every object, the fields given), err (the one stderr line)
    ("--version", 0, dict(out=["quarnel-test-utility {version}"])),
    ("-v", 0, dict(out=["quarnel-test-utility {version}"])),
    ("-h", 0, dict(has=["Usage: quarnel-test-utility [options] command [options] [arguments]"])),
    ("send --help", 0, dict(out=SEND_HELP)),
    ("send -h", 0, dict(out=SEND_HELP)),
    ("--help", 0, dict(has=["  list [--decode]", "  atr HEX...", "  attributes [--reader R] [--id ID,...]", "  send [--reader R] [--loop N] [--expect SW] [--get-response] [--samples FILE] HEX...",
                            "  run [--reader R] [--get-response] FILE", "  vendor [--reader R] [--code C] CMD P1 P2 [DATA]",
                            "  control [--reader R] CODE [HEX...]", "  features [--reader R]", "  monitor",
                            "  qualify [--reader R]... [--junit FILE] [--samples FILE] PLAN",
                            "  passport [--reader R] [--runs N] [--apdu HEX]", "  compare [--tolerance PCT] A B"])),
    ("compare --help", 0, dict(has=["Usage: quarnel-test-utility [options] compare A B",
                                    "  --tolerance <PCT>  How much slower in B a timing figure may be, in percent",
                                    "  B                  The later file, of the same kind."])),
    ("qualify --help", 0, dict(has=["Usage: quarnel-test-utility [options] qualify PLAN",
                                    "Runs a test plan of suites (stability, sweep, power, tap, removal) on one reader,"
                                    " or on several at once (-r given again, or -r all: every reader with a card), and"
                                    " prints each verdict with the environment; tap and removal ask for the operator's"
                                    " hand on stderr."])),
    ("list", 0, dict(out=["0: {r0}: PRESENT*, ATR " + SIM_ATR, "1: {r1}: EMPTY"])),
    ("list --json", 0, dict(json=[dict(index=0, reader="{r0}", atr=SIM_ATR.replace(" ", "")),
                                  dict(index=1, reader="{r1}", state=["EMPTY"], atr=None)])),
    ("attributes", 0, dict(has=CONNECTED + ["Current Clockfrequency:   13560  (13560 kHz)",
                                            "IFD Version:   0x 01 00 00 01  (1.0 build 1)",
                                            "IFD Vendor Name:   Q u a r n e l    (Quarnel)"], lines=21)),
    ("attributes --json --id 0x00020110,scard_attr_vendor_ifd_serial_no,0x7FFF1234", 1, dict(json=[
        dict(attribute="SCARD_ATTR_CHANNEL_ID", bytes="00002000", value="0x 00 00 20 00 ", decoded="USB, channel 0"),
        dict(attribute="SCARD_ATTR_VENDOR_IFD_SERIAL_NO", status="0x8010001F", decoded=None),
        dict(attribute="0x7FFF1234", id="0x7FFF1234", status="0x8010001F", decoded=None)],
        err=SHOUT + "attributes: 2 of 3 could not be read")),
    ("attributes --id 0x00020110,", 2, dict(err=SHOUT + 'attributes: --id: "" is no attribute code *')),
    # The window's storage requests in class FF, GENERAL AUTHENTICATE among them.
    ("storage --json --class FF loadkeys 1 FFFFFFFFFFFF", 0, dict(json=[dict(command="FF82000106FFFFFFFFFFFF",
                                                                             sw="9000", ok=True)])),
    ("storage --json --class ff --general --expect 9000 authenticate 8 A 1", 0, dict(json=[dict(
        command="FF860000050100086001", sw="9000", ok=True)])),
    ("storage --json --class FF authenticate 8 b 1", 0, dict(json=[dict(command="FF8800086101", sw="9000")])),
    ("storage --json getuid", 0, dict(json=[dict(command="00CA000000", response="04A1B2C39000")])),
    ("storage --json read 0x104 4", 0, dict(json=[dict(command="00B0010404", sw="6700")])),
    ("storage --json update 6 0102", 0, dict(json=[dict(command="00D60006020102")])),
    ("storage --class 01 getuid", 2, dict(err=SHOUT + "storage: --class takes 00 or FF")),
    ("storage --general authenticate 8 A 1", 2, dict(err=SHOUT + "storage: --general goes with --class FF")),
    ("storage read 65536", 2, dict(err=SHOUT + 'storage: BLOCK "65536" is no number from 0 to 65535')),
    ("storage authenticate 8 C 1", 2, dict(err=SHOUT + 'storage: the key type "C" is neither A nor B')),
    ("storage update 6 " + "00" * 256, 2, dict(err=SHOUT + "storage: the data is longer than 255 bytes")),
    ("storage getuid 1", 2, dict(err=SHOUT + "storage: usage: quarnel-test-utility storage getuid")),
    ("storage erase", 2, dict(err=SHOUT + 'storage: unknown command "erase" *')),
    # 61 xx and 6C xx: each follow-up its own exchange, the last one checked.
    ("send --json --get-response --expect 9000 005E000000", 0, dict(json=[
        dict(command="005E000000", sw="6110", expected=None, ok=True),
        dict(follow_up="get_response", command="00C0000010", response="04A1B2C3D408040061 08".replace(" ", ""),
             ok=True),
        dict(follow_up="get_response", command="00C0000008", response="62636465666768699000", expected="9000",
             ok=True)])),
    ("send --get-response 005C000000", 0, dict(has=["Follow-up 1: Le correction after 6C 10", "00 5C 00 00 10 "],
                                               lines=17)),
    ("send --get-response 005C000100", 1, dict(has=["Follow-up 16: Le correction after 6C 10",
                                                    "Follow-ups ended after 16: the card still asks for another."],
                                               err=SHOUT + "follow-ups ended after 16: the card still asks for another")),
    # A loop times one exchange a run and makes no follow-ups.
    ("send --json --loop 2 --get-response 005E000000", 0, dict(json=[dict(type="loop", sw="6110", runs_made=2)])),

    ("attributes --json --reader 1", 0, dict(json=[dict(attribute="ATR", bytes="", value="")] + [{}] * 15 + [
        dict(attribute="IFD Type"), dict(attribute="IFD Version", id="0x00010102", bytes="01000001",
                                          value="0x 01 00 00 01 "),
        dict(attribute="IFD Vendor Name", status_name="SCARD_S_SUCCESS", status_alias=None)])),
    ("send 00CA000000", 0, dict(out=CONNECTED + UID_EXCHANGE)),
    ("send --json --expect 9000 00 CA 00 00", 1, dict(json=[dict(
        reader="{r0}", command="00CA0000", response="6700", sw="6700", sw_meaning="Wrong length", expected="9000",
        ok=False)], err=SHOUT + "SW 67 00, not the expected 90 00")),
    # Every failure is one line on stderr, stdout as it was.
    ("send --expect 6A82 00CA000000", 1, dict(out=CONNECTED + UID_EXCHANGE + ["Expected SW 6A 82: not met"],
                                               err=SHOUT + "SW 90 00, not the expected 6A 82")),
    ("send 00CA000000", 1, dict(sim="fail_every=1\n", has=["SCardTransmit: Failure!"], err=SHOUT + (
        "SCardTransmit: 0x80100016 SCARD_E_NOT_TRANSACTED: Transaction failed."))),
    ("send --json --reader 1 00CA000000", 1, dict(json=[dict(
        type="error", command="send", call="SCardConnect", status="0x8010000C", status_name="SCARD_E_NO_SMARTCARD",
        status_text="No smart card inserted.")], err=SHOUT + "SCardConnect: 0x8010000C *")),
    ("send --loop 5000 00CA000000", 0, dict(out=CONNECTED + UID_EXCHANGE + [
        "Loop: 5000 runs, 5000 answered 90 00", "Loop times (µs): min *, median *, p90 *, p99 *, max *, mean *"])),
    # Every third run fails in the reader: all runs are made and counted.
    ("send --json --loop 9 --expect 9000 00CA000000", 1, dict(sim="fail_every=3\n", json=[dict(
        response=None, status="0x80100016", runs=9, runs_made=9, first_failure=3, other_runs=0, ok=False, outcomes=[
            dict(status="0x00000000", status_name="SCARD_S_SUCCESS", status_alias=None,
                 status_text="Command successful.", sw="9000", runs=6),
            dict(status="0x80100016", status_name="SCARD_E_NOT_TRANSACTED", status_alias=None,
                 status_text="Transaction failed.", sw=None, runs=3)])], err=SHOUT + "run 3 of 9: SCardTransmit: 0x80100016 SCARD_E_NOT_TRANSACTED: *")),
    # Options go before or after the positional arguments, their values after a blank or '='.
    ("send --loop=2 --json 00CA000000", 0, dict(json=[dict(command="00CA000000", runs=2, runs_made=2)])),
    ("send --json 00 CA000000 --loop 2", 0, dict(json=[dict(command="00CA000000", runs=2, runs_made=2)])),
    # -j and -r, alone, run together, the value joined or apart; the program itself takes neither.
    ("send -j -r 1 00CA000000", 1, dict(json=[dict(type="error", call="SCardConnect", status="0x8010000C")],
                                        err=SHOUT + "SCardConnect: *")),
    ("vendor -jr1 8 0 0", 0, dict(json=[dict(reader="{r1}", cmd=8, ok=True)])),
    ("vendor -jr={r0} 8 0 0", 0, dict(json=[dict(reader="{r0}", ok=True)])),
    ("-j list", 2, dict(err=SHOUT + "Unknown option 'j'.")),
    # The window's ATR decoding, alone or for every reader with a card.
    ("atr " + SIM_ATR, 0, dict(out=SIM_ATR_LINES + [HOME_CARD])),
    ("atr -j 3B8F80", 1, dict(json=[dict(reader=None, atr="3B8F80", verdict="truncated", cards=[], lines=[
        "TS = 3B: direct convention", "T0 = 8F: Y1 = 8 (TD1), K = 15 historical bytes",
        "TD1 = 80: protocol T=0, Y2 = 8 (TD2)", "The ATR stops after 3 bytes, before TD2"])],
        err=SHOUT + "atr: the ATR is not well formed (truncated)")),
    ("atr 3B" + " 00" * 33, 2, dict(err=SHOUT + "atr: the ATR is longer than 33 bytes")),
    ("list --decode", 0, dict(out=["0: {r0}: PRESENT*, ATR " + SIM_ATR] + ["    " + line for line in SIM_ATR_LINES]
                              + ["    " + HOME_CARD, "1: {r1}: EMPTY"])),
    ("list -j --decode", 0, dict(json=[dict(index=0), dict(reader="{r0}", verdict="well_formed", lines=SIM_ATR_LINES,
                                                           cards=[HOME_CARD]), dict(index=1)])),
    ("send 00CA000000 -- --loop 2", 2, dict(err=SHOUT + 'send: "00CA000000 --loop 2": not a hex digit')),
    ("send 00CA000000 --loop", 2, dict(err=SHOUT + "send: Missing value after '--loop'.")),
    ("list --loop 5", 2, dict(err=SHOUT + "list: Unknown option 'loop'.")),
    ("list -hx -y", 2, dict(err=SHOUT + "list: Unknown options: x, y.")),
    ("list --json=1", 2, dict(err=SHOUT + "list: Unexpected value after '--json'.")),
    ("list extra", 2, dict(err=SHOUT + "list: usage: quarnel-test-utility list [--decode]")),
    ("run a b", 2, dict(err=SHOUT + "run: usage: quarnel-test-utility run [--reader R] [--get-response] FILE")),
    ("--json list", 2, dict(err=SHOUT + "Unknown option 'json'.")),
    ("", 2, dict(err=SHOUT + "a command is missing (--help lists them)")),
    ("send 00CA0", 2, dict(err='quarnel-test-utility: send: "00CA0": odd number of hex digits')),
    ("send 0x00CA000000", 2, dict(err='quarnel-test-utility: send: "0x00CA000000": not a hex digit')),
    ("send --reader 7 00CA000000", 2, dict(err='quarnel-test-utility: no reader "7"')),
    ("send --reader 2 00CA000000", 2, dict(err='quarnel-test-utility: no reader "2"')),  # the count itself
    ("send --reader \udcff 00CA000000", 2, dict(err='quarnel-test-utility: no reader "\udcff"')),
    ("send --json {half} {half} 00", 0, dict(json=[dict(response="6D00", ok=True)])),
    ("send {half} {half} {half}", 2, dict(err=SHOUT + "send: the APDU is longer than 65548 bytes")),
    ("send --reader 1 00CA000000", 1, dict(
        err="quarnel-test-utility: SCardConnect: 0x8010000C SCARD_E_NO_SMARTCARD: No smart card inserted.")),
    ("send --loop 5001 00CA000000", 2, dict(err="quarnel-test-utility: send: --loop takes a count from 1 to 5000")),
    ("send --loop 0 00CA000000", 2, dict(err="quarnel-test-utility: send: --loop takes a count from 1 to 5000")),
    ("send --expect 90 00CA000000", 2, dict(err="*--expect takes a status word of two hex bytes, as 9000")),
    ("send --expect 0000 00CA000000", 2, dict(err="*--expect takes a status word of two hex bytes, as 9000")),
    ("send", 2, dict(err="*usage: quarnel-test-utility send *HEX...")),
    ("bogus", 2, dict(err='quarnel-test-utility: unknown command "bogus" (--help lists them)')),
    ("vendor 8 0 0", 0, dict(has=["SCardControl: Output:",
                                  "CMD = 8, PA = 0x00000000, PB = 0x00000000, PC = 0x00000000, LE = 13",
                                  "51 53 49 4D 2D 31 4B 20   31 2E 30 2E 30 "])),
    ("vendor --json --reader {r1} 2 3 0x64 0102", 0, dict(json=[dict(
        reader="{r1}", cmd=2, pa=3, pb=100, pc=0, le=2, data="0102", status="0x00000000",
        reply=dict(cmd=2, pa=3, pb=100, pc=0, le=0, data=""), ok=True)])),
    # One name a status; the second name of 0x8010001F is its alias, null for every other.
    ("vendor --json 99 0 0", 1, dict(json=[dict(cmd=99, status="0x8010001F", status_name="SCARD_E_UNSUPPORTED_FEATURE",
                                                status_alias="SCARD_E_UNEXPECTED", reply=None, ok=False)],
                                     err=SHOUT + "SCardControl: 0x8010001F *")),
    ("vendor 256 0 0", 2, dict(err='quarnel-test-utility: vendor: CMD "256" is no number from 0 to 255')),
    # Any control code, an empty request allowed; the reader's refusal is its status.
    ("control SCARD_CTL_CODE(3400)", 0, dict(out=CONNECTED + [
        "SCardControl: Code: 0x42000D48 SCARD_CTL_CODE(3400)", "SCardControl: Input:", "", "SCardControl: Output:",
        "12 04 42 33 00 12 13 04   42 33 00 13 ", "Status: 0x00000000 *", "Elapsed: * ms"])),
    ("control --json 0x42000001 01 02", 1, dict(json=[dict(
        code="0x42000001", request="0102", reply=None, status="0x8010001F", ok=False)],
        err=SHOUT + "SCardControl: 0x8010001F *")),
    ("features", 0, dict(has=[
        "FEATURE_GET_TLV_PROPERTIES (0x12): 0x42330012 SCARD_CTL_CODE(0x330012)",
        "FEATURE_CCID_ESC_COMMAND (0x13): 0x42330013 SCARD_CTL_CODE(0x330013)", "sFirmwareID (8): \"QSIM-1K 1.0.0\"",
        "wIdVendor (11): 0x1209 (4617)", "dwMaxAPDUDataSize (10): 0x00010000 (65536)",
        "CCID escape: 0x42330013 SCARD_CTL_CODE(0x330013)"], lines=25)),
    # The empty reader answers over a direct connection.
    ("features --json --reader 1", 0, dict(json=[
        dict(reader="{r1}", code="0x42000D48", stop=None, escape="0x42330013", ok=True, features=[
            dict(tag=18, name="FEATURE_GET_TLV_PROPERTIES", code="0x42330012"),
            dict(tag=19, name="FEATURE_CCID_ESC_COMMAND", code="0x42330013")]),
        dict(code="0x42330012", stop=None, ok=True)])),
    # A list cut short keeps what was whole, says where it stops, and fails.
    ("features --json", 1, dict(sim="feature_list=bad_length\n", json=[
        dict(features=[dict(tag=18, name="FEATURE_GET_TLV_PROPERTIES", code="0x42330012")],
             stop=dict(offset=6, reason="wrong_length"), escape=None, ok=False), dict(ok=True)],
        err=SHOUT + "features: the feature list stops at byte 6 (wrong_length)")),
    ("features", 1, dict(sim="feature_list=cut\n", has=["The feature list stops at byte 6: cut short.",
                                                           "CCID escape: not offered"],
                         err=SHOUT + "features: the feature list stops at byte 6 (cut_short)")),
    ("vendor --json --code escape 8 0 0", 0, dict(json=[dict(code="0x42330013", cmd=8, ok=True)])),
    ("vendor --code SCARD_CTL_CODE(1) 8 0 0", 1, dict(has=["SCardControl: Code: 0x42000001 SCARD_CTL_CODE(1)"],
                                                       err=SHOUT + "SCardControl: 0x8010001F *")),
    ("vendor --code escape 8 0 0", 1, dict(sim="feature_list=cut\n", out=CONNECTED,
                                           err=SHOUT + "vendor: the reader offers no FEATURE_CCID_ESC_COMMAND")),
    # Bad input: nothing connected, nothing sent.
    ("control SCARD_CTL_CODE(0xBE000000)", 2, dict(out=[], err=SHOUT + 'control: "SCARD_CTL_CODE(0xBE000000)": '
                                                   "SCARD_CTL_CODE(n) beyond 0xFFFFFFFF (n at most 3187671039)")),
    ("control 0x100000000", 2, dict(out=[], err=SHOUT + 'control: "0x100000000": a control code beyond 0xFFFFFFFF')),
    ("control 3400 0x12", 2, dict(out=[], err=SHOUT + 'control: "0x12": not a hex digit')),
    ("vendor --code 12x 8 0 0", 2, dict(out=[], err=SHOUT + 'vendor: --code takes fixed, escape or a control code: '
                                        '"12x": not a control code *')),
    ("control", 2, dict(out=[], err=SHOUT + "control: usage: quarnel-test-utility control [--reader R] CODE [HEX...]")),
    ("run scriptor.txt", 0, dict(out=CONNECTED + ["scriptor.txt:2:", "SCardReconnect: OK, protocol = 0x00000002.",
                                                  "ATR:", "3B 8F 80 01 80 4F 0C A0   00 00 03 06 03 00 01 00   00 00 00 6A ",
                                                  "Status: 0x00000000 *", "Elapsed: * ms", "scriptor.txt:3:"]
                                 + UID_EXCHANGE + ["scriptor.txt:4:"] + UID_EXCHANGE + ["scriptor.txt:6:"]
                                 + ["FF CA 00 00 00 " if line == "00 CA 00 00 00 " else line for line in UID_EXCHANGE])),
    ("run --json loop.apdu", 0, dict(json=[
        dict(line=2, command="00CA000000", expected="9000", ok=True), dict(line=2, ok=True),
        dict(line=5, command="00B0000410", sw="6982", sw_meaning="Security status not satisfied", ok=True)])),
    ("run --json stops.apdu", 1, dict(json=[dict(line=1, sw="6700", expected="9000", ok=False)],
                                      err=SHOUT + "stops.apdu:1: SW 67 00, not the expected 90 00")),
    ("run odd.apdu", 2, dict(err='odd.apdu:2: "00 CA 0": odd number of hex digits')),
    ("run word.apdu", 2, dict(err='word.apdu:1: "select 3F00": not an APDU, reset, loop N, end, expect SW, begin/end transaction or exit')),
    ("run noend.apdu", 2, dict(err="noend.apdu:2: loop without end")),
    ("run end.apdu", 2, dict(err="end.apdu:1: end without loop")),
    ("run expect.apdu", 2, dict(err="expect.apdu:2: expect must follow an APDU")),
    ("run zero.apdu", 2, dict(err="zero.apdu:1: loop takes a count from 1 to 1000000")),
    ("run nocheck.apdu", 2, dict(err="nocheck.apdu:2: expect takes a status word of two hex bytes, as 90 00")),
    # "-" reads standard input, as the user chose; a FIFO named is refused without waiting on it.
    ("run -", 0, dict(stdin="reset\n00CA000000\n", has=["-:1:", "SCardReconnect: OK, protocol = 0x00000002.",
                                                        "-:2:", "04 A1 B2 C3 90 00 "], lines=16)),
    ("run --json -", 1, dict(stdin="00CA000000\nexpect 6A82\n", json=[dict(line=1, sw="9000", ok=False)],
                             err=SHOUT + "-:1: SW 90 00, not the expected 6A 82")),
    ("run -", 2, dict(stdin="00CA000000\n00 CA 0\n", err='-:2: "00 CA 0": odd number of hex digits')),
    ("run fifo.apdu", 2, dict(err="fifo.apdu: a FIFO, not a regular file")),
    ("run missing.apdu", 2, dict(err="missing.apdu: No such file or directory")),
    ("run caf\udce9.apdu", 0, dict(out=CONNECTED + ["caf\udce9.apdu:1:"] + UID_EXCHANGE)),
    ("run missing\udce9.apdu", 2, dict(err="missing\udce9.apdu: No such file or directory")),
    ("qualify --json pass.plan", 0, dict(json=[
        dict(type="environment", reader="{r0}", pcsclite_compiled="1.9.9", ifd_vendor="Quarnel", tool="{version}"),
        dict(id="stability-1", verdict="pass", runs=100, planned=100, note=None),
        dict(id="sweep-2", suite="sweep", verdict="pass", runs=8, atr=None),
        dict(id="power-3", line=7, verdict="pass", atr=SIM_ATR.replace(" ", ""), fit=None)])),
    ("qualify bad.plan", 2, dict(out=[], err='bad.plan:3: unknown operator "<>" (<, <=, >, >= or =)')),
    ("qualify -", 2, dict(out=[], stdin="suite swipe\n",
                          err='-:1: unknown suite "swipe" (stability, sweep, power, tap or removal)')),
    ("qualify fifo.apdu", 2, dict(out=[], err="fifo.apdu: a FIFO, not a regular file")),
    ("qualify -r 9 pass.plan", 2, dict(out=[], err=SHOUT + 'no reader "9"')),
    ("qualify --junit= pass.plan", 2, dict(out=[], err=SHOUT + "qualify: --junit takes a file name")),
    ("qualify --json fail.plan", 1, dict(json=[dict(type="environment"), dict(id="fast", verdict="fail"),
                                              dict(id="power-2", verdict="pass")],
                                        err=SHOUT + "qualify: 1 of 2 suites did not pass (1 failed, 0 inconclusive,"
                                        " 0 not run)")),
    # A reader named twice counts once, and one reader prints as one.
    ("qualify --json -r 0 -r {r0} fail.plan", 1, dict(json=[dict(type="environment"), dict(id="fast"),
                                                            dict(id="power-2")],
                                                      err=SHOUT + "qualify: 1 of 2 suites did not pass*")),
    ("qualify -r all -r nosuch pass.plan", 2, dict(out=[], err=SHOUT + 'no reader "nosuch"')),
    # Resets on demand. With atr_after_cold_reset the sim's card changes its ATR at a cold
    # reset and keeps it at a warm one.
    ("reset warm", 0, dict(out=CONNECTED + ["SCardReconnect: OK, protocol = 0x00000002.", "ATR:", SIM_ATR_DUMP,
                                            "Status: 0x00000000 *", "Elapsed: * ms"])),
    ("reset cold", 0, dict(sim="atr_after_cold_reset=1\n", has=["ATR changed."], lines=8)),
    ("reset --json cold", 0, dict(sim="atr_after_cold_reset=1\n", json=[dict(
        reset="cold", protocol="t1", atr_changed=True, ok=True)])),
    ("reset --json warm", 0, dict(sim="atr_after_cold_reset=1\n", json=[dict(
        reset="warm", atr=SIM_ATR.replace(" ", ""), atr_changed=False, ok=True)])),
    ("run --json pair.apdu", 1, dict(sim="atr_after_cold_reset=1\n", json=[
        dict(line=1, transaction="begin", ok=True), dict(line=2, reset="cold", atr_changed=True, ok=True),
        dict(line=3, sw="9000"), dict(line=4, transaction="end", ok=True),
        dict(line=5, transaction="end", status="0x80100016", ok=False)],
        err=SHOUT + "pair.apdu:5: SCardEndTransaction: 0x80100016 *")),
    # RAW offered alone; the unpower at the end unsets it, so the next connect negotiates again.
    ("send --protocol raw --disposition unpower 00CA000000", 0, dict(
        out=["Reader: {r0}", "SCardConnect: OK, protocol = 0x00000004."] + UID_EXCHANGE)),
    ("send 00CA000000", 0, dict(out=CONNECTED + UID_EXCHANGE)),
    # Direct reaches the empty reader; its transmit finds no card.
    ("send --json --share direct --reader 1 00CA000000", 1, dict(json=[dict(
        reader="{r1}", status="0x8010000C", ok=False)], err=SHOUT + "SCardTransmit: 0x8010000C *")),
    # Unknown words: one line, nothing connected or sent.
    ("send --share both 00CA000000", 2, dict(out=[], err=SHOUT + "send: --share takes exclusive|shared|direct")),
    ("run --protocol T1 loop.apdu", 2, dict(out=[], err=SHOUT + "run: --protocol takes any|t0|t1|raw")),
    ("attributes --disposition keep", 2, dict(
        out=[], err=SHOUT + "attributes: --disposition takes leave|reset|unpower|eject")),
    ("reset lukewarm", 2, dict(out=[], err=SHOUT + 'reset: "lukewarm" is neither warm nor cold')),
    # compare refuses what it cannot read as its two kinds: the file, its line and why, exit 2.
    ("compare cut.json one.json", 2, dict(out=[], err=SHOUT + "compare: cut.json:2: not JSON: the text ends before a "
                                          "value (byte 29)")),
    ("compare one.json plain.json", 2, dict(out=[], err=SHOUT + 'compare: plain.json:1: a value that is no object '
                                            'with a "type"')),
    ("compare one.json mixed.json", 2, dict(out=[], err=SHOUT + "compare: mixed.json:2: a passport among other objects")),
    ("compare one.json run.json", 2, dict(out=[], err=SHOUT + "compare: run.json: qualify output, not a passport as "
                                          "one.json is")),
    ("compare fifo.apdu one.json", 2, dict(out=[], err=SHOUT + "compare: fifo.apdu: a FIFO, not a regular file")),
    ("compare one.json missing.json", 2, dict(out=[], err=SHOUT + "compare: missing.json: No such file or directory")),
    # A name's control characters never reach the terminal as they are.
    ("compare one.json esc.json", 0, dict(out=['\\x1B[2J: none -> "\\u001B"',
                                               "Differences: 1, crossed: 0 (a passport; tolerance 10 %)"])),
    ("compare --tolerance -1 one.json one.json", 2, dict(out=[], err=SHOUT + "compare: --tolerance takes a *")),
    ("passport --runs 5001", 2, dict(out=[], err=SHOUT + "passport: --runs takes a count from 1 to 5000")),
    ("passport --apdu 00CA", 2, dict(out=[], err=SHOUT + "passport: --apdu takes at least 4 bytes (CLA INS P1 P2)")),
]

# Every command writes into a full disk: one line on stderr and exit status 1.
FULL_OUTPUT = ["--help", "--version", "send --help", "list", "list --json", "attributes --json",
               "send 00CA000000", "send --json --loop 3 00CA000000", "run scriptor.txt", "run --json loop.apdu",
               "vendor 8 0 0", "features", "monitor", "monitor --json"]

PEER_CASES = [
    ("list", 0, dict(has=["0: {p0}: PRESENT*, ATR 3B 95 13 81 01 80 73 FF 01 00 0B"])),
    # vicc knows no GetUID: the exchange works, the status word does not.
    ("send --json --expect 9000 00CA000000", 1, dict(json=[dict(
        reader="{p0}", response="6A81", sw="6A81", status="0x00000000", ok=False)],
        err=SHOUT + "SW 6A 81, not the expected 90 00")),
    # vpcd's refusals come through as their own statuses, never as a decoded value.
    ("attributes --json --reader {p0} --id SCARD_ATTR_CHANNEL_ID,SCARD_ATTR_DEVICE_FRIENDLY_NAME_A", 1, dict(json=[
        dict(attribute="SCARD_ATTR_CHANNEL_ID", status="0x8010001F", bytes=None, decoded=None),
        dict(attribute="SCARD_ATTR_DEVICE_FRIENDLY_NAME_A", status="0x80100008", bytes=None, decoded=None)],
        err=SHOUT + "attributes: 2 of 2 could not be read")),
    # vicc's card speaks T=1 alone: T=0 named is refused, and shown.
    ("send --protocol t0 00CA000000", 1, dict(err=SHOUT + "SCardConnect: 0x8010000F SCARD_E_PROTO_MISMATCH: *")),
    ("send --json --share shared --protocol t1 --disposition reset 00CA000000", 0, dict(json=[dict(
        reader="{p0}", sw="6A81", ok=True)])),
    ("reset --json cold", 0, dict(json=[dict(reader="{p0}", reset="cold", protocol="t1", atr_changed=False,
                                             atr="3B9513810180 73FF01000B".replace(" ", ""), ok=True)])),
    ("attributes --reader {p0}", 1, dict(has=[
        "Reader: {p0}", "Channel:   error 0x8010001F (Feature not supported.)"], lines=21,
        err=SHOUT + "attributes: * of 19 could not be read")),
    # vpcd answers no control code: the failure and its status, not a list or a crash.
    ("features --json", 1, dict(json=[dict(reader="{p0}", reply=None, features=[], stop=None, escape=None, ok=False)],
                                err=SHOUT + "SCardControl: 0x8010001F *")),
    ("control SCARD_CTL_CODE(3400)", 1, dict(has=["SCardControl: Failure!", "Status: 0x8010001F *"],
                                             err=SHOUT + "SCardControl: 0x8010001F *")),
    ("vendor --code escape 8 0 0", 1, dict(err=SHOUT + "SCardControl: 0x8010001F *")),
]


class Failure(Exception):
    pass


def run(program, arguments, folder, **popen):
    return subprocess.run([program, *arguments], cwd=folder, capture_output=True, text=True,
                          errors="surrogateescape", timeout=120, **popen)


def matches(line, pattern):
    return fnmatch.fnmatchcase(line, pattern.replace("[", "[[]"))


def check_case(program, folder, words, status, expected, names):
    # Split before the names go in: a reader's name, blanks and all, is one argument.
    arguments = [word.format(**names) for word in words.split(" ")]
    set_control(expected.get("sim", ""))
    # HOME holds the known-ATR list the decoding names the card from.
    done = run(program, arguments, folder, input=expected.get("stdin", ""), env={**os.environ, "HOME": folder})
    set_control("")
    problems = []
    lines = done.stdout.splitlines()
    if done.returncode != status:
        problems.append(f"exit status {done.returncode}, not {status}")
    if "out" in expected:
        patterns = [pattern.format(**names) for pattern in expected["out"]]
        if len(lines) != len(patterns) or not all(map(matches, lines, patterns)):
            problems.append("stdout is not\n  " + "\n  ".join(patterns))
    for pattern in expected.get("has", []):
        if not any(matches(line, pattern.format(**names)) for line in lines):
            problems.append(f"no line {pattern.format(**names)!r}")
    if "lines" in expected and len(lines) != expected["lines"]:
        problems.append(f"{len(lines)} lines, not {expected['lines']}")
    if "json" in expected:
        problems += check_objects(lines, expected["json"], names, words.startswith("run"))
    err = done.stderr.splitlines()
    if "err" in expected and (len(err) != 1 or not matches(err[0], expected["err"].format(**names))):
        problems.append(f"stderr is not the one line {expected['err']!r}")
    if "err" not in expected and err:
        problems.append("stderr is not empty")
    if problems:
        raise Failure(f"{words}: " + "; ".join(problems) + f"\n---- stdout\n{done.stdout}---- stderr\n{done.stderr}")
    print("ok:", words, flush=True)


def check_objects(lines, expected, names, script):
    objects = [json.loads(line) for line in lines]
    problems = [] if len(objects) == len(expected) else [f"{len(objects)} objects, not {len(expected)}"]
    for got, fields in zip(objects, expected):
        kind = ("script " if script else "") + ("follow-up " if "follow_up" in got else "") + got.get("type", "")
        if list(got) != FIELDS.get(kind, FIELDS.get(got.get("type"))):
            problems.append(f"fields of {kind}: {list(got)}")
        for name, value in fields.items():
            value = value.format(**names) if isinstance(value, str) else value
            if got.get(name, "missing") != value:
                problems.append(f"{name} is {got.get(name, 'missing')!r}, not {value!r}")
    return problems


def set_control(text, reader=0):
    """Replaces a simulated reader's control file ("": its defaults)."""
    path = os.path.join(os.environ["QTU_SIM_DIR"], f"reader{reader}.ctl")
    before = os.stat(path).st_mtime_ns if os.path.exists(path) else 0
    with open(path + ".tmp", "w") as control:
        control.write(text)
    # The driver sees a change only by a later modification time.
    stamp = max(time.time_ns(), before + 1)
    os.utime(path + ".tmp", ns=(stamp, stamp))
    os.rename(path + ".tmp", path)


def set_card(present):
    set_control("" if present else "card=none\n")


def check_monitor(program, names):
    """monitor prints the readers, then each event as it comes, until SIGINT,
    at its local time: a zone half an hour off whole hours shows the offset's
    minutes. A reader that pcscd lists but cannot use is unavailable, not
    removed, and available again when it comes back."""
    iso = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\+05:30"
    for arguments, control, expected in [
            (["monitor"], "card=none\n", [re.compile(iso + "  Card removed  " + re.escape(names["r0"]))]),
            (["monitor"], "card=none\nunplugged=1\n",
             [re.compile(iso + "  Reader unavailable  " + re.escape(names["r0"]))]),
            (["monitor", "--json"], "", [{"event": "reader_available", "reader": "{r0}"},
                                         {"event": "card_inserted", "reader": "{r0}", "state": ["PRESENT"],
                                          "atr": SIM_ATR.replace(" ", ""), "inferred": False}])]:
        process = subprocess.Popen([program, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                   env={**os.environ, "TZ": "IST-5:30"})
        # An event that never comes ends the reads below instead of the run.
        deadline = threading.Timer(30, process.kill)
        deadline.start()
        try:
            readers = [process.stdout.readline() for _ in range(2)]
            set_control(control)
            events = [process.stdout.readline().rstrip("\n") for _ in expected]
            process.send_signal(signal.SIGINT)
            rest, err = process.communicate(timeout=30)
        finally:
            deadline.cancel()
            process.kill()
        problems = [] if process.returncode == 0 else [f"exit status {process.returncode}"]
        if not readers[1].startswith("{") and not readers[1].startswith("1: "):
            problems.append(f"the readers first: {readers}")
        for event, want in zip(events, expected):
            if isinstance(want, re.Pattern):
                if not want.fullmatch(event):
                    problems.append(f"event {event!r}")
            else:
                problems += check_objects([event], [want], names, False)
                if not re.fullmatch(iso, json.loads(event).get("time", "")):
                    problems.append(f"time of {event!r}")
        if problems or rest or err:
            raise Failure(f"{' '.join(arguments)}: " + "; ".join(problems) + f"\n---- after\n{rest}{err}")
        print("ok:", " ".join(arguments), flush=True)


def check_full_output(program, folder):
    """A write into /dev/full fails: the command says so on stderr and exits 1."""
    expected = SHOUT + "standard output: No space left on device"
    for words in FULL_OUTPUT:
        with open("/dev/full", "w") as full:
            done = subprocess.run([program, *words.split(" ")], cwd=folder, stdout=full, stderr=subprocess.PIPE,
                                  text=True, timeout=120)
        if done.returncode != 1 or done.stderr.splitlines() != [expected]:
            raise Failure(f"{words} > /dev/full: exit status {done.returncode}\n---- stderr\n{done.stderr}")
        print("ok:", words, "> /dev/full", flush=True)


def check_no_display(program, folder):
    """Without a command and without a display the program says so in one line."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    done = run(program, [], folder, env=env)
    expected = [SHOUT + "no display: start it in a desktop session, or give a command; see --help"]
    if done.returncode != 2 or done.stderr.splitlines() != expected or done.stdout:
        raise Failure(f"no display: exit status {done.returncode}\n---- stderr\n{done.stderr}")
    print("ok: no display", flush=True)


def check_qualify_files(program, folder, names):
    """qualify's JUnit file is well-formed XML with a testcase per suite, a
    failure for a fail and a skip for an inconclusive suite (the empty
    reader), and its samples file holds every exchange; a plan that fails
    to parse writes neither."""
    import csv
    import xml.etree.ElementTree as ElementTree
    cases = [("pass.plan", [], 0, {"stability-1": None, "sweep-2": None, "power-3": None}, 112),
             ("fail.plan", [], 1, {"fast": "failure", "power-2": None}, 13),
             ("pass.plan", ["--reader", "1"], 1, {"stability-1": "skipped", "sweep-2": "skipped",
                                                  "power-3": "skipped"}, 1)]
    for plan, options, status, verdicts, rows in cases:
        junit, samples = os.path.join(folder, "out.xml"), os.path.join(folder, "out.csv")
        for path in (junit, samples):
            if os.path.exists(path):
                os.unlink(path)
        done = run(program, ["qualify", *options, "--junit", junit, "--samples", samples, plan], folder)
        problems = [] if done.returncode == status else [f"exit status {done.returncode}, not {status}"]
        if done.stdout.splitlines()[-1:] != [QUALIFY_CAVEAT]:
            problems.append("the caveat is not the last line")
        suites = ElementTree.parse(junit).getroot()
        cases_seen = {case.get("name"): case for case in suites.iter("testcase")}
        reader = names["r1" if options else "r0"]
        suite = suites.find("testsuite")
        if suites.tag != "testsuites" or suite.get("name") != reader or len(cases_seen) != len(verdicts):
            problems.append(f"JUnit: {suites.tag}, {suite.get('name')!r}, {list(cases_seen)}")
        properties = {p.get("name"): p.get("value") for p in suite.iter("property")}
        if properties.get("reader") != reader or not properties.get("caveat", "").startswith("Times are host-side"):
            problems.append(f"JUnit properties: {properties}")
        for name, kind in verdicts.items():
            case = cases_seen.get(name)
            seen = [child.tag for child in case if child.tag in ("failure", "skipped")] if case is not None else None
            if seen != ([kind] if kind else []):
                problems.append(f"JUnit {name}: {seen}, not {kind}")
        with open(samples, newline="") as table:
            lines = list(csv.reader(table))
        if lines[0] != ["suite", "run", "length", "ns", "pcsc", "sw"] or len(lines) != rows:
            problems.append(f"samples: {lines[0]}, {len(lines)} rows, not {rows}")
        if problems:
            raise Failure(f"qualify {plan} {options}: " + "; ".join(problems) + f"\n---- stdout\n{done.stdout}"
                          + f"---- stderr\n{done.stderr}")
        print("ok: qualify", plan, *options, "--junit --samples", flush=True)
    done = run(program, ["qualify", "--junit", "bad.xml", "--samples", "bad.csv", "bad.plan"], folder)
    if done.returncode != 2 or any(os.path.exists(os.path.join(folder, f)) for f in ("bad.xml", "bad.csv")):
        raise Failure(f"qualify bad.plan wrote its files or exited {done.returncode}")
    print("ok: qualify bad.plan writes no file", flush=True)


def check_passports(program, folder, names, peer):
    """A passport holds the reader's parts and the card's: on the sim its
    vendor, its features, every protocol taken and a baseline answered 90 00;
    on the empty reader no card, no ATR and no baseline; vpcd's refusal of
    every control code as its status, and vicc's card T=1 alone. compare
    finds a passport the same as itself, a baseline 2 ms slower and a suite
    gone from pass to fail, each with the right exit status."""
    def passport(options, sim=""):
        set_control(sim) if not peer else None
        done = run(program, ["passport", *options], folder, env={**os.environ, "HOME": folder})
        set_control("") if not peer else None
        lines = done.stdout.splitlines()
        if done.returncode != 0 or done.stderr or len(lines) != 1:
            raise Failure(f"passport {options}: exit status {done.returncode}\n{done.stdout}{done.stderr}")
        got = json.loads(lines[0])
        if list(got) != FIELDS["passport"]:
            raise Failure(f"passport {options}: fields {list(got)}")
        return lines[0], got

    def taken(got):
        return {p["protocol"]: (p["taken"], p["active"], p["status_name"]) for p in got["protocols"]}

    def attribute(got, name):
        return next(a for a in got["attributes"] if a["name"] == name)

    problems = []
    if peer:
        text, got = passport(["--runs", "10"])
        if (got["reader"], got["card"], got["atr"]["atr"]) != (names["p0"], True, "3B9513810180 73FF01000B".replace(
                " ", "")):
            problems.append(f"reader and card: {got['reader']}, {got['card']}, {got['atr']}")
        if (got["features"]["status"], got["features"]["features"], got["properties"]) != ("0x8010001F", [], None):
            problems.append(f"features: {got['features']}")
        if taken(got) != {"t0": (False, None, "SCARD_E_PROTO_MISMATCH"), "t1": (True, "t1", "SCARD_S_SUCCESS"),
                          "raw": (True, "raw", "SCARD_S_SUCCESS")}:
            problems.append(f"protocols: {taken(got)}")
        if (got["timing"]["runs_made"], got["timing"]["failures"], got["timing"]["sw"]) != (10, 0, "6A81"):
            problems.append(f"timing: {got['timing']}")
        if attribute(got, "SCARD_ATTR_CHANNEL_ID")["status"] != "0x8010001F":
            problems.append("the channel attribute is not refused")
    else:
        text, got = passport([])
        if (got["reader"], got["card"], got["environment"]["ifd_vendor"]) != (names["r0"], True, "Quarnel"):
            problems.append(f"reader and card: {got['reader']}, {got['card']}, {got['environment']}")
        if (got["atr"]["verdict"], got["atr"]["lines"], got["atr"]["cards"]) != ("well_formed", SIM_ATR_LINES,
                                                                                 [HOME_CARD]):
            problems.append(f"ATR: {got['atr']}")
        if [f["name"] for f in got["features"]["features"]] != ["FEATURE_GET_TLV_PROPERTIES",
                                                                 "FEATURE_CCID_ESC_COMMAND"]:
            problems.append(f"features: {got['features']}")
        if {p["name"]: p["value"] for p in got["properties"]["properties"]}.get("sFirmwareID") != "QSIM-1K 1.0.0":
            problems.append(f"properties: {got['properties']}")
        if got["connection"]["protocol"] != "t1" or taken(got) != {
                "t0": (True, "t0", "SCARD_S_SUCCESS"), "t1": (True, "t1", "SCARD_S_SUCCESS"),
                "raw": (True, "raw", "SCARD_S_SUCCESS")}:
            problems.append(f"protocols: {got['connection']}, {taken(got)}")
        timing = got["timing"]
        if (timing["runs"], timing["runs_made"], timing["failures"], timing["sw"]) != (100, 100, 0, "9000") or not (
                0 < timing["times_us"]["min"] <= timing["times_us"]["median"] <= timing["times_us"]["max"]):
            problems.append(f"timing: {timing}")
        if (attribute(got, "SCARD_ATTR_VENDOR_NAME")["decoded"], len(got["attributes"])) != ("Quarnel", 42):
            problems.append("not every attribute, or the vendor's undecoded")
        _, empty = passport(["--reader", "1"])
        if (empty["card"], empty["atr"], empty["timing"], empty["connection"]["share"],
                empty["features"]["ok"], taken(empty)["t1"][2]) != (False, None, None, "direct", True,
                                                                     "SCARD_E_NO_SMARTCARD"):
            problems.append(f"the empty reader: {empty['card']}, {empty['connection']}, {taken(empty)}")
        # compare: the same passport, a baseline 2 ms a run slower, a suite gone from pass to fail.
        slow, _ = passport(["--runs", "10"], "delay_us=2000\n")
        plans = {"base": "suite stability id=s apdu=00CA000000 runs=10\nlimit failures = 0\n",
                 "worse": "suite stability id=s apdu=00CA000000 runs=10\nlimit max_us < 0.001\n"}
        for name, text_ in [("a.passport", text), ("slow.passport", slow)]:
            with open(os.path.join(folder, name), "w") as out:
                out.write(text_ + "\n")
        for name, plan in plans.items():
            with open(os.path.join(folder, name + ".plan"), "w") as out:
                out.write(plan)
            with open(os.path.join(folder, name + ".runs"), "w") as out:
                out.write(run(program, ["qualify", "--json", name + ".plan"], folder).stdout)
        for arguments, status, want in [
                (["a.passport", "a.passport"], 0, ["Differences: 0, crossed: 0 (a passport; tolerance 10 %)"]),
                (["a.passport", "slow.passport"], 1, ["timing.times_us.median: * -> * (+*) [crossed]"]),
                (["--tolerance", "1e9", "a.passport", "slow.passport"], 0, ["timing.runs: 100 -> 10 (-90.0 %)"]),
                (["base.runs", "worse.runs"], 1, ['suite[s].verdict: "pass" -> "fail" [crossed]',
                                                 "Differences: *, crossed: 2 (qualify output; tolerance 10 %)"]),
                (["worse.runs", "base.runs"], 0, ['suite[s].verdict: "fail" -> "pass"'])]:
            done = run(program, ["compare", *arguments], folder)
            lines = done.stdout.splitlines()
            if done.returncode != status or not all(any(matches(line, w) for line in lines) for w in want):
                problems.append(f"compare {' '.join(arguments)}: exit status {done.returncode}\n{done.stdout}"
                                f"{done.stderr}")
    if problems:
        raise Failure("passport: " + "; ".join(problems))
    print("ok: passport and compare", "(peer)" if peer else "", flush=True)


def check_qualify_prompt(program, folder, names):
    """qualify asks for the operator's hand on stderr, stdout staying JSON: a
    tap suite on the empty reader, the tap made by the sim once asked for."""
    process = subprocess.Popen([program, "qualify", "--json", "--reader", "1", "-"], cwd=folder, text=True,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdin.write("suite tap taps=1 timeout_ms=5000\nlimit missed_taps = 0\n")
    process.stdin.close()
    process.stdin = None  # communicate() below has nothing more to send
    prompt = process.stderr.readline()
    set_control("tap_count=1\ntap_in_ms=800\ntap_out_ms=400\n", reader=1)
    try:
        out, err = process.communicate(timeout=30)
    finally:
        set_control("", reader=1)
    objects = [json.loads(line) for line in out.splitlines()]
    suite = objects[-1] if objects else {}
    if (prompt != "Tap the card (1 of 1).\n" or err or process.returncode != 0 or len(objects) != 2
            or suite.get("verdict") != "pass" or suite.get("measured", {}).get("missed_taps") != 0
            or suite.get("atr") != SIM_ATR.replace(" ", "")):
        raise Failure(f"qualify tap: exit status {process.returncode}, prompt {prompt!r}\n---- stdout\n{out}"
                      f"---- stderr\n{err}")
    print("ok: qualify tap prompts on stderr", flush=True)


def wait_card(program, reader, present):
    """Waits until pcscd lists the reader's card as in (present) or out."""
    for _ in range(50):
        listed = [json.loads(line) for line in run(program, ["list", "--json"], ".").stdout.splitlines()]
        if any(item.get("reader") == reader and ("PRESENT" in item.get("state", [])) == present for item in listed):
            return
        time.sleep(0.1)
    raise Failure(f"{reader}: the card is not {'in' if present else 'out'}")


def check_qualify_readers(program, folder, names):
    """With a card in both readers, qualify runs on both at once: the text names
    the reader on each suite line and totals each reader and all; JSON carries
    an environment per reader and the reader on every suite; JUnit has a
    testsuite per reader whose testcases stay unique by classname and name; the
    samples file has a reader column."""
    import csv
    import xml.etree.ElementTree as ElementTree
    readers = [names["r0"], names["r1"]]
    set_control("card=storage1k\n", 1)
    try:
        wait_card(program, readers[1], True)
        junit, samples = os.path.join(folder, "both.xml"), os.path.join(folder, "both.csv")
        done = run(program, ["qualify", "-r", "all", "--junit", junit, "--samples", samples, "pass.plan"], folder)
        lines = done.stdout.splitlines()
        problems = [] if done.returncode == 0 and not done.stderr else [f"exit status {done.returncode}"]
        for reader in readers:
            for suite in ["stability-1 (stability, line 2)", "sweep-2 (sweep, line 5)", "power-3 (power, line 7)"]:
                if not any(matches(line, f"{reader}: {suite}: pass, *") for line in lines):
                    problems.append(f"no pass of {suite} on {reader}")
        if lines[-4:] != [f"Verdicts on {readers[0]}: 3 pass, 0 fail, 0 inconclusive",
                          f"Verdicts on {readers[1]}: 3 pass, 0 fail, 0 inconclusive",
                          "Verdicts: 6 pass, 0 fail, 0 inconclusive", QUALIFY_CAVEAT]:
            problems.append(f"totals: {lines[-4:]}")
        root = ElementTree.parse(junit).getroot()
        suites = [(suite.get("name"), [(case.get("classname"), case.get("name")) for case in suite.iter("testcase")])
                  for suite in root.iter("testsuite")]
        keys = [key for _, cases in suites for key in cases]
        if ([name for name, _ in suites] != readers or len(set(keys)) != 6 or root.get("tests") != "6"
                or any(classname != name for name, cases in suites for classname, _ in cases)):
            problems.append(f"JUnit: {suites}")
        with open(samples, newline="") as table:
            rows = list(csv.reader(table))
        if rows[0] != ["reader", "suite", "run", "length", "ns", "pcsc", "sw"] or [row[0] for row in rows[1:]] != \
                [readers[0]] * 111 + [readers[1]] * 111:
            problems.append(f"samples: {rows[0]}, {len(rows)} rows")
        # Both verdicts, each on each reader, in JSON; the stderr line counts them all.
        done = run(program, ["qualify", "--json", "-r", "1", "-r", "0", "fail.plan"], folder)
        objects = [json.loads(line) for line in done.stdout.splitlines()]
        problems += [f"fields of {got['type']}" for got in objects if list(got) != FIELDS[got["type"]]]
        seen = sorted((got["type"], got["reader"], got.get("id"), got.get("verdict")) for got in objects)
        if seen != sorted([("environment", reader, None, None) for reader in readers]
                          + [("suite", reader, "fast", "fail") for reader in readers]
                          + [("suite", reader, "power-2", "pass") for reader in readers]):
            problems.append(f"JSON: {seen}")
        if done.returncode != 1 or done.stderr != SHOUT + "qualify: 2 of 4 suites on 2 readers did not pass " \
                                                  "(2 failed, 0 inconclusive, 0 not run)\n":
            problems.append(f"fail.plan: exit status {done.returncode}, stderr {done.stderr!r}")
        # "all" is the readers holding a card: none is no reader to qualify.
        set_control("card=none\n", 1)
        set_control("card=none\n")
        wait_card(program, readers[0], False)
        wait_card(program, readers[1], False)
        done = run(program, ["qualify", "-r", "all", "--junit", "none.xml", "pass.plan"], folder)
        if (done.returncode, done.stdout, done.stderr) != (1, "", SHOUT + "qualify: no reader holds a card\n") \
                or os.path.exists(os.path.join(folder, "none.xml")):
            problems.append(f"-r all without a card: exit status {done.returncode}, stderr {done.stderr!r}")
    finally:
        set_control("", 1)
        set_card(True)
        wait_card(program, readers[1], False)
        wait_card(program, readers[0], True)
    if problems:
        raise Failure("qualify on two readers: " + "; ".join(problems) + f"\n---- stdout\n{done.stdout}")
    print("ok: qualify on two readers at once", flush=True)


def handles(pid, signum):
    """Whether process pid catches signal signum (its SigCgt mask in /proc)."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("SigCgt:"):
                return int(line.split()[1], 16) >> (signum - 1) & 1 == 1
    return False


def check_signals(program, names):
    """SIGINT or SIGTERM during a loop ends it after the run under way: the
    runs made are printed with their summary, and the exit status is 128 and
    the signal. Each answer comes 2 ms late, so the loop is still running."""
    for signum, status, arguments in [(signal.SIGINT, 130, ["--json"]), (signal.SIGTERM, 143, [])]:
        set_control("delay_us=2000\n")
        process = subprocess.Popen([program, "send", *arguments, "--loop", "5000", "00CA000000"],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = threading.Timer(60, process.kill)
        deadline.start()
        try:
            while process.poll() is None and not handles(process.pid, signum):
                time.sleep(0.01)
            process.send_signal(signum)
            out, err = process.communicate(timeout=60)
        finally:
            deadline.cancel()
            process.kill()
            set_control("")
        lines = out.splitlines()
        problems = [] if process.returncode == status else [f"exit status {process.returncode}, not {status}"]
        if arguments:
            problems += check_objects(lines, [dict(type="loop", reader="{r0}", runs=5000, ok=False)], names, False)
            made = json.loads(lines[0])["runs_made"] if lines else 0
        else:
            stopped = [line for line in lines if line.startswith("Loop stopped after ")]
            made = int(stopped[0].split()[3]) if stopped else 0
            expected = [f"Loop stopped after {made} of 5000 runs.", f"Loop: {made} run*, {made} answered 90 00",
                        "Loop times (µs): min *"]
            if lines[:2] != [pattern.format(**names) for pattern in CONNECTED] or not all(
                    map(matches, lines[-3:], expected)):
                problems.append("not the reader, the exchange and the runs made")
        if not 1 <= made < 5000:
            problems.append(f"{made} runs made")
        if problems or err:
            raise Failure(f"send --loop 5000 and {signum.name}: " + "; ".join(problems) + f"\n---- stdout\n{out}"
                          f"---- stderr\n{err}")
        print("ok: send --loop 5000 and", signum.name, flush=True)


def check_pcscd_dies(program, names):
    """A watch that fails (pcscd killed) is one line on stderr and exit status 1;
    in JSON its event comes first. pcscd is started again afterwards."""
    control = os.environ["QTU_PCSCD_CONTROL"]
    expected = SHOUT + "monitor: the watch failed: 0x* *"
    for arguments in [["monitor"], ["monitor", "--json"]]:
        process = subprocess.Popen([program, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = threading.Timer(60, process.kill)
        deadline.start()
        try:
            readers = [process.stdout.readline() for _ in range(2)]
            subprocess.run(f"{control} kill", shell=True, check=True)
            rest, err = process.communicate(timeout=60)
        finally:
            deadline.cancel()
            process.kill()
            subprocess.run(f"{control} start", shell=True, check=True)
        problems = [] if process.returncode == 1 else [f"exit status {process.returncode}"]
        if not readers[1].startswith(("1: ", "{")):
            problems.append(f"the readers first: {readers}")
        if len(arguments) == 1 and rest:
            problems.append("stdout goes on after the readers")
        if len(arguments) == 2:
            problems += check_objects(rest.splitlines(), [dict(event="watch_failed", reader="")], names, False)
        if len(err.splitlines()) != 1 or not matches(err.rstrip("\n"), expected):
            problems.append(f"stderr is not the one line {expected!r}")
        if problems:
            raise Failure(f"{' '.join(arguments)} after pcscd died: " + "; ".join(problems)
                          + f"\n---- after\n{rest}---- stderr\n{err}")
        print("ok:", " ".join(arguments), "after pcscd died", flush=True)


def main():
    program, version = sys.argv[1], sys.argv[2]
    peer = "--peer" in sys.argv[3:]
    names = dict(version=version, r0=os.environ.get("QTU_SIM_READER0", ""), r1=os.environ.get("QTU_SIM_READER1", ""),
                 p0=os.environ.get("QTU_PEER_READER0", ""), half=HALF_APDU)
    with tempfile.TemporaryDirectory(prefix="qtu-cli-") as folder:
        for name, text in SCRIPTS.items():
            with open(os.path.join(folder, name), "w") as script:
                script.write(text)
        os.mkfifo(os.path.join(folder, "fifo.apdu"))
        os.mkdir(os.path.join(folder, ".cache"))
        with open(os.path.join(folder, ".cache", "smartcard_list.txt"), "w") as known:
            known.write(SIM_ATR + "\n\t" + HOME_CARD + "\n")
        try:
            for words, status, expected in PEER_CASES if peer else SIM_CASES:
                check_case(program, folder, words, status, expected, names)
            check_passports(program, folder, names, peer)
            if not peer:
                check_full_output(program, folder)
                check_qualify_files(program, folder, names)
                check_qualify_prompt(program, folder, names)
                check_qualify_readers(program, folder, names)
                check_no_display(program, folder)
                check_signals(program, names)
                check_monitor(program, names)
                check_pcscd_dies(program, names)
        except Failure as failure:
            print("FAILED:", failure, flush=True)
            return 1
        finally:
            if not peer:
                set_card(True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
