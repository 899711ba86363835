"""Reads and writes a Modbus/TCP server on 127.0.0.1 through pymodbus; prints one line per request.

Usage: pymodbus_client.py PORT REQUEST...

REQUEST is one of
  coils:START:COUNT, discrete-inputs:START:COUNT, holding-registers:START:COUNT,
  input-registers:START:COUNT   (codes 1, 2, 3, 4; unit 1)
  write-coils:START:VALUE,..., write-registers:START:VALUE,...
                                 (codes 15, 16; prints the START and COUNT the response echoes)
  device-id:READ_CODE            (code 43/14 from object 0; prints ID=VALUE per object)
  echo:WORD,WORD,...             (code 8, Return Query Data)
  typed:KIND:START:TYPE:ORDER:COUNT
                                 (COUNT values of TYPE in ORDER from holding-registers or
                                 input-registers, read by code 3 or 4 and decoded by pymodbus'
                                 payload decoder; for ascii, COUNT characters)
  build:START:TYPE:ORDER:VALUE,VALUE,...
                                 (the values laid out by pymodbus' payload builder and written
                                 by code 16; for ascii, one text; prints "written N" registers)
and each line reads "REQUEST VALUE VALUE ...", or "REQUEST exception N" for an exception response,
or "REQUEST failed: TEXT" when no usable answer came. Exits 1 when it cannot connect.
"""

import struct
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.constants import Endian
from pymodbus.mei_message import ReadDeviceInformationRequest
from pymodbus.payload import BinaryPayloadBuilder, BinaryPayloadDecoder
from pymodbus.pdu import ExceptionResponse

UNIT = 1

# An order's byte swap is pymodbus' byteorder LITTLE, its word swap wordorder LITTLE.
ORDERS = {
    "ABCD": (Endian.Big, Endian.Big),
    "CDAB": (Endian.Big, Endian.Little),
    "BADC": (Endian.Little, Endian.Big),
    "DCBA": (Endian.Little, Endian.Little),
}
# The payload methods' names (decode_NAME, add_NAME) and the registers of one value.
TYPES = {
    "uint16": ("16bit_uint", 1), "int16": ("16bit_int", 1),
    "uint32": ("32bit_uint", 2), "int32": ("32bit_int", 2), "float32": ("32bit_float", 2),
    "uint64": ("64bit_uint", 4), "int64": ("64bit_int", 4), "float64": ("64bit_float", 4),
    "ascii": ("16bit_uint", 1),   # two characters per register, swapped as a 16-bit value is
}


def RegisterCount(kind, count):
    return (count + 1) // 2 if kind == "ascii" else count * TYPES[kind][1]


def Decode(registers, kind, order, count):
    byteorder, wordorder = ORDERS[order]
    decoder = BinaryPayloadDecoder.fromRegisters(registers, byteorder=byteorder, wordorder=wordorder)
    if kind == "ascii":
        words = [decoder.decode_16bit_uint() for _ in registers]
        return [b"".join(struct.pack(">H", word) for word in words)[:count].decode("ascii")]
    decode = getattr(decoder, "decode_" + TYPES[kind][0])
    return [repr(decode()) for _ in range(count)]


def Build(kind, order, text):
    byteorder, wordorder = ORDERS[order]
    builder = BinaryPayloadBuilder(byteorder=byteorder, wordorder=wordorder)
    if kind == "ascii":
        data = text.encode("ascii") + b"\0" * (len(text) % 2)
        for index in range(0, len(data), 2):
            builder.add_16bit_uint(data[index] << 8 | data[index + 1])
    else:
        number = float if kind.startswith("float") else int
        for value in text.split(","):
            getattr(builder, "add_" + TYPES[kind][0])(number(value))
    return builder.to_registers()


def Values(kind, response, count):
    if kind in ("coils", "discrete-inputs"):
        return [str(int(bit)) for bit in response.bits[:count]]   # bits come padded to a byte
    if kind in ("holding-registers", "input-registers"):
        return [str(value) for value in response.registers]
    if kind == "typed":
        return Decode(response.registers, *count)
    if kind == "build":
        return [f"written {count}"]
    if kind in ("write-coils", "write-registers"):
        return [str(response.address), str(response.count)]
    if kind == "device-id":
        return [f"{key}={value.decode('ascii')}" for key, value in sorted(response.information.items())]
    return [str(word) for word in response.message]


def Ask(client, kind, argument):
    readers = {
        "coils": client.read_coils,
        "discrete-inputs": client.read_discrete_inputs,
        "holding-registers": client.read_holding_registers,
        "input-registers": client.read_input_registers,
    }
    if kind in readers:
        start, count = (int(part) for part in argument.split(":"))
        return readers[kind](start, count, slave=UNIT), count
    if kind in ("write-coils", "write-registers"):
        start, values = argument.split(":")
        writer = client.write_coils if kind == "write-coils" else client.write_registers
        return writer(int(start), [int(value) for value in values.split(",")], slave=UNIT), 0
    if kind == "device-id":
        return client.execute(ReadDeviceInformationRequest(read_code=int(argument), object_id=0, unit=UNIT)), 0
    if kind == "typed":
        table, start, value_kind, order, count = argument.split(":")
        registers = RegisterCount(value_kind, int(count))
        return readers[table](int(start), registers, slave=UNIT), (value_kind, order, int(count))
    if kind == "build":
        start, value_kind, order, text = argument.split(":", 3)
        registers = Build(value_kind, order, text)
        return client.write_registers(int(start), registers, slave=UNIT), len(registers)
    if kind == "echo":
        return client.diag_query_data([int(word, 0) for word in argument.split(",")], slave=UNIT), 0
    raise SystemExit(f"unknown request kind {kind!r}")


def main():
    client = ModbusTcpClient("127.0.0.1", port=int(sys.argv[1]), timeout=3, retries=0)
    if not client.connect():
        print(f"cannot connect to 127.0.0.1:{sys.argv[1]}", file=sys.stderr)
        return 1
    for request in sys.argv[2:]:
        kind, _, argument = request.partition(":")
        try:
            response, count = Ask(client, kind, argument)
        except Exception as error:   # pymodbus raises on time-outs and closed connections
            print(f"{request} failed: {error}")
            continue
        if isinstance(response, ExceptionResponse):
            print(f"{request} exception {response.exception_code}")
        elif response.isError():
            print(f"{request} failed: {response}")
        else:
            print(" ".join([request] + Values(kind, response, count)))
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
