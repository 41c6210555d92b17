#pragma once
// The matrix itself, without a line: takes one command as it arrived, changes the state, and
// says which frames go back. Not thread-safe; the simulator serialises calls.
#include "MatrixCommand.h"
#include "MatrixState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct DeviceResponse {
    bool accepted = false;
    std::string note; // why the command was refused
    std::vector<std::vector<uint8_t>> frames;
    bool restart = false; // the matrix goes silent for a while, then answers again
};

class MatrixDevice
{
public:
    explicit MatrixDevice(MatrixState state = DefaultMatrixState());

    DeviceResponse Handle(std::string_view line);

    const MatrixState& State() const { return state_; }
    void SetState(const MatrixState& state) { state_ = state; }
    // Upper bits or-ed into the status block's values (the panel must mask them off).
    void SetStatusHighBits(uint8_t bits) { highBits_ = bits; }

private:
    std::vector<std::vector<uint8_t>> apply(const MatrixCommand& command, bool& restart);
    std::vector<uint8_t> statusFrame() const;
    void route(const MatrixCommand& command);
    std::vector<uint8_t> saveScene(const MatrixCommand& command);
    std::vector<uint8_t> renamePort(const MatrixCommand& command);
    void setAudio(const MatrixCommand& command);
    void setEdidInput(const MatrixCommand& command);
    std::vector<uint8_t> storeUserEdid(const MatrixCommand& command);
    void setNetwork(const MatrixCommand& command);

    MatrixState state_;
    uint8_t highBits_ = 0;
};
