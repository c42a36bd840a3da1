// The operator's commands, carried out on the tool's module through the relay: each
// speaks the "@" stream and reuses the tool's own codecs for the module's data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "remote/operator_link.h"

class RemoteSession {
public:
    RemoteSession(OperatorLink& link, FILE* out, FILE* progress) : link_(link), out_(out), progress_(progress) {}

    // Runs one command line ("read-config", "flash FILE.bin", ...). Reads standard
    // input for "serial". False with a reason in *error.
    bool run(const std::vector<std::string>& words, std::string* error);

    bool state(std::string* error);
    bool identify(std::string* error);
    bool read_config(std::string* error);
    bool write_config(const std::string& path, std::string* error);
    bool flash(const std::string& path, std::string* error);
    bool monitor(int count, std::string* error);
    bool text_lines(std::string* error);
    bool serial(int input_fd, std::string* error);

    // A module frame as the tool's R frame carries it: reply code, data, checksum.
    using Frame = std::vector<uint8_t>;

private:
    bool expect(const char* kind, ToolMessage* message, int timeout_ms, std::string* error);
    // "@H" and its state reply; the state character.
    bool open_device(char* state, std::string* error);
    bool application_device(std::string* error);
    // `before`, then "@R" and "@G": every frame the module had, up to the mark.
    bool collect(std::vector<Frame>* frames, std::string* error, const std::string& before = std::string());
    // "@i" with the command, then collects until a frame with `code` or the attempts end.
    bool exchange(uint8_t command, const std::vector<uint8_t>& data, uint8_t code, int attempts, Frame* reply,
                  std::string* error);
    bool read_memory(int address, int count, std::vector<uint8_t>* bytes, std::string* error);
    bool write_memory(int address, const std::vector<uint8_t>& bytes, std::string* error);
    bool read_image(int* level, int* number, std::vector<uint8_t>* image, std::string* error);
    // "@E6" with the bytes, then "@E7" with the attempts: the bootloader's answer.
    bool boot_exchange(const std::vector<uint8_t>& bytes, int attempts, std::vector<uint8_t>* answer,
                       std::string* error);

    OperatorLink& link_;
    FILE* out_;
    FILE* progress_;
};
