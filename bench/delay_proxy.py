#!/usr/bin/env python3
"""A TCP proxy on loopback that holds every chunk it relays for a fixed time,
in each direction, before passing it on: a server that far away. Connection
set-up, a TLS handshake and every request pay the round trip, while bytes in
flight keep flowing (the delay is latency, not a bandwidth limit).

Usage: delay_proxy.py TARGET_PORT PORT_FILE ONE_WAY_MS [CONNECTION_LOG]
Listens on an ephemeral port of 127.0.0.1, writes it to PORT_FILE, relays to
127.0.0.1:TARGET_PORT. With CONNECTION_LOG, appends a line per accepted
connection (so a benchmark can count connections). Runs until killed.
"""

import asyncio
import sys
import time


async def pump(reader, writer, delay):
    """Relays reader to writer, each chunk released delay seconds after it came."""
    pending = asyncio.Queue()

    async def release():
        while True:
            due, chunk = await pending.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if chunk is None:
                break
            writer.write(chunk)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    releaser = asyncio.create_task(release())
    try:
        while chunk := await reader.read(256 * 1024):
            await pending.put((time.monotonic() + delay, chunk))
    except ConnectionError:
        pass
    await pending.put((time.monotonic() + delay, None))
    try:
        await releaser
    except ConnectionError:
        pass


async def main():
    target_port, port_file, one_way_ms = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    log = open(sys.argv[4], "a", buffering=1) if len(sys.argv) > 4 else None
    delay = one_way_ms / 1000

    async def handle(client_reader, client_writer):
        if log:
            log.write("connection\n")
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay))
        for writer in (server_writer, client_writer):
            writer.close()

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    with open(port_file, "w") as out:
        out.write(f"{server.sockets[0].getsockname()[1]}\n")
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
