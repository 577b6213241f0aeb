#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that holds every chunk for DELAY ms in each direction, as a
player's line to a far server would, without limiting the bandwidth; it counts the bytes
it passes to the client and writes the running total once every 0.1 s (time, bytes), so
that a benchmark can judge a rate cap by one-second windows.

usage: delay-proxy.py UPSTREAM_PORT DELAY_MS PORT_FILE [COUNT_FILE]
It prints its own port into PORT_FILE once it listens, and runs until killed."""
import asyncio
import os
import socket
import sys
import time

upstream_port = int(sys.argv[1])
delay = int(sys.argv[2]) / 1000.0
port_file = sys.argv[3]
count_file = sys.argv[4] if len(sys.argv) > 4 else None
passed = 0


async def pump(reader, writer, to_client):
    """Forwards what reader gives to writer, each chunk delay seconds after it arrived."""
    queue = asyncio.Queue()

    async def deliver():
        global passed
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if to_client and count_file:
                # In small pieces, each counted once it is on its way: a chunk counted whole
                # would show a paced transfer as bursts of 64 KiB.
                for at in range(0, len(data), 1024):
                    writer.write(data[at:at + 1024])
                    await writer.drain()
                    passed += len(data[at:at + 1024])
            else:
                writer.write(data)
                await writer.drain()
                if to_client:
                    passed += len(data)
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            await queue.put((time.monotonic() + delay, data))
    except (ConnectionError, OSError):
        pass
    await queue.put((0, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def serve(client_reader, client_writer):
    try:
        up_reader, up_writer = await asyncio.open_connection("127.0.0.1", upstream_port)
    except OSError:
        client_writer.close()
        return
    if count_file:
        # Counted as it enters the line: little may wait in this proxy's own buffers, or a
        # whole small file would count at once however slowly the client takes it.
        client_writer.transport.set_write_buffer_limits(high=4096, low=1024)
        client_writer.get_extra_info("socket").setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4096)
    await asyncio.gather(pump(client_reader, up_writer, False), pump(up_reader, client_writer, True))


async def count():
    with open(count_file, "w") as out:
        while True:
            out.write(f"{time.monotonic():.3f} {passed}\n")
            out.flush()
            await asyncio.sleep(0.1)


async def main():
    server = await asyncio.start_server(serve, "127.0.0.1", 0, backlog=512)
    with open(port_file + ".part", "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    os.replace(port_file + ".part", port_file)
    if count_file:
        asyncio.create_task(count())
    async with server:
        await server.serve_forever()


asyncio.run(main())
