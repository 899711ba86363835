// A small Modbus/TCP client for screenshots and manual trials (not part of Parvane): opens three
// connections to 127.0.0.1:PORT, makes a few requests on the first two (five float32 CDAB values
// among them, at addresses 10 to 19), keeps all three open for
// SECONDS and ends. With "idle" it opens four connections and sends nothing (for measuring what
// the console costs while clients sit idle). Bounded: at most 100 connection attempts, 50 ms apart.
#include <modbus/modbus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

modbus_t* ConnectWithRetry(int port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        modbus_t* context = modbus_new_tcp("127.0.0.1", port);
        modbus_set_slave(context, 1);
        if (modbus_connect(context) == 0) {
            return context;
        }
        modbus_free(context);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[])
{
    const bool idle = argc == 4 && std::strcmp(argv[3], "idle") == 0;
    if (argc != 3 && !idle) {
        std::fprintf(stderr, "Usage: modbus_demo_client PORT SECONDS [idle]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);
    const int connections = idle ? 4 : 3;
    modbus_t* clients[4] = {};
    for (int i = 0; i < connections; ++i) {
        clients[i] = ConnectWithRetry(port);
        if (clients[i] == nullptr) {
            std::fprintf(stderr, "modbus_demo_client: cannot connect to 127.0.0.1:%d\n", port);
            return 1;
        }
    }
    if (idle) {
        std::printf("4 idle connections open\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        for (int i = 0; i < connections; ++i) {
            modbus_close(clients[i]);
            modbus_free(clients[i]);
        }
        return 0;
    }
    const uint16_t values[10] = {100, 101, 102, 103, 104, 4660, 65535, 0, 1, 2026};
    modbus_write_registers(clients[0], 0, 10, values);
    uint16_t read[10];
    modbus_read_registers(clients[0], 0, 10, read);
    modbus_read_registers(clients[0], 65530, 10, read);   // past the table: an exception answer
    modbus_read_registers(clients[0], 0, 10, read);
    // Readings as a device may hold them: float32 with the words swapped (CDAB), from address 10.
    const float readings[5] = {21.5F, -40.0F, 3.1415927F, 1013.25F, 0.001F};
    uint16_t floats[10];
    for (int i = 0; i < 5; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, &readings[i], sizeof bits);
        floats[2 * i] = static_cast<uint16_t>(bits);            // CD
        floats[2 * i + 1] = static_cast<uint16_t>(bits >> 16);  // AB
    }
    modbus_write_registers(clients[0], 10, 10, floats);
    modbus_write_bit(clients[1], 3, 1);
    uint8_t coils[16];
    modbus_read_bits(clients[1], 0, 16, coils);

    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    for (int i = 0; i < connections; ++i) {
        modbus_close(clients[i]);
        modbus_free(clients[i]);
    }
    return 0;
}
