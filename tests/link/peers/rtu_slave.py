#!/usr/bin/python3
"""A Modbus RTU slave served by pymodbus on a serial device, as an independent peer for the tests.

Usage: rtu_slave.py DEVICE UNIT BAUDRATE, or rtu_slave.py --tcp UNIT

Holding registers 0..99 are mapped and start out holding 1000 + their number; any request past them
gets the exception "illegal data address" (2). Prints READY once the device is open.
--tcp: a Modbus TCP server on 127.0.0.1 with the meter's map (each 1000 + its number); prints READY PORT.
"""

import asyncio
import logging
import signal
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.datastore import ModbusSparseDataBlock
from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


async def serve_tcp(unit):
    registers = ModbusSparseDataBlock({r: 1000 + r for r in [*range(63), *range(1024, 1029), 1034]})
    slave = ModbusSlaveContext(hr=registers, zero_mode=True)
    context = ModbusServerContext(slaves={unit: slave}, single=False)
    server = ModbusTcpServer(context, framer=ModbusSocketFramer, address=("127.0.0.1", 0), defer_start=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, task.cancel)
    print("READY %d" % server.server.sockets[0].getsockname()[1], flush=True)
    await asyncio.gather(task, return_exceptions=True)


async def serve(device, unit, baudrate):
    registers = ModbusSequentialDataBlock(0, [1000 + i for i in range(100)])
    slave = ModbusSlaveContext(hr=registers, zero_mode=True)
    context = ModbusServerContext(slaves={unit: slave}, single=False)
    server = ModbusSerialServer(context, framer=ModbusRtuFramer, port=device, baudrate=baudrate,
                                bytesize=8, parity="N", stopbits=1, timeout=0.01)
    await server.start()
    if server.transport is None:
        print("cannot open " + device, flush=True)
        sys.exit(1)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    print("READY", flush=True)
    await stop.wait()
    await server.shutdown()


def main():
    logging.basicConfig(level=logging.WARNING)
    if sys.argv[1] == "--tcp":
        asyncio.run(serve_tcp(int(sys.argv[2])))
        return
    device, unit, baudrate = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    asyncio.run(serve(device, unit, baudrate))


if __name__ == "__main__":
    main()
