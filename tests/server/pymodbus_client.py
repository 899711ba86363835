"""Reads and writes a Modbus/TCP server on 127.0.0.1 through pymodbus; prints one line per request.

Usage: pymodbus_client.py PORT REQUEST...

REQUEST is one of
  coils:START:COUNT, discrete-inputs:START:COUNT, holding-registers:START:COUNT,
  input-registers:START:COUNT   (codes 1, 2, 3, 4; unit 1)
  write-coils:START:VALUE,..., write-registers:START:VALUE,...
                                 (codes 15, 16; prints the START and COUNT the response echoes)
  device-id:READ_CODE            (code 43/14 from object 0; prints ID=VALUE per object)
  echo:WORD,WORD,...             (code 8, Return Query Data)
and each line reads "REQUEST VALUE VALUE ...", or "REQUEST exception N" for an exception response,
or "REQUEST failed: TEXT" when no usable answer came. Exits 1 when it cannot connect.
"""

import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.mei_message import ReadDeviceInformationRequest
from pymodbus.pdu import ExceptionResponse

UNIT = 1


def Values(kind, response, count):
    if kind in ("coils", "discrete-inputs"):
        return [str(int(bit)) for bit in response.bits[:count]]   # bits come padded to a byte
    if kind in ("holding-registers", "input-registers"):
        return [str(value) for value in response.registers]
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
