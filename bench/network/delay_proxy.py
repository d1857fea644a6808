#!/usr/bin/python3
"""A loopback proxy that delays every chunk by DELAY_MS in each direction, so that a server on
this machine is reached as over a real network's round trip (2 x DELAY_MS), without limiting the
bandwidth.

  delay_proxy.py TARGET_PORT DELAY_MS

Prints one JSON line {"port": N} once it listens on 127.0.0.1, and serves until stdin closes.
"""
import asyncio
import json
import socket
import sys


async def carry(reader, writer, delay, loop):
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                try:
                    writer.write_eof()
                except OSError:
                    pass
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()


async def main():
    target, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000.0
    loop = asyncio.get_running_loop()

    async def client(reader, writer):
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", target)
        except OSError:
            writer.close()
            return
        for s in (writer, up_writer):
            s.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(carry(reader, up_writer, delay, loop), carry(up_reader, writer, delay, loop))
        for s in (writer, up_writer):
            s.close()

    server = await asyncio.start_server(client, "127.0.0.1", 0)
    print(json.dumps({"port": server.sockets[0].getsockname()[1]}), flush=True)
    # Until stdin closes.
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
