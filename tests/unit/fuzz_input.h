// Inputs for the bounded fuzz runs: random bytes drawn mostly from an alphabet of the
// format's own characters, or a valid sample with a few bytes changed, cut, repeated
// or inserted.
#pragma once

#include <random>
#include <string>

// Even rounds give random input of up to `max_length` bytes, odd rounds a mutation
// of `sample`.
inline std::string fuzz_input(std::mt19937& random, int round, const std::string& sample,
                              const std::string& alphabet, size_t max_length) {
    std::string input;
    if (round % 2 == 0) {
        const size_t length = random() % (max_length + 1);
        for (size_t i = 0; i < length; ++i)
            input += random() % 4 ? alphabet[random() % alphabet.size()] : char(random());
        return input;
    }
    input = sample;
    const int edits = 1 + int(random() % 8);
    for (int e = 0; e < edits && !input.empty(); ++e) {
        const size_t at = random() % input.size();
        switch (random() % 4) {
        case 0: input[at] = char(random()); break;
        case 1: input.erase(at, 1 + random() % 40); break;
        case 2: input.insert(at, std::string(1 + random() % 60, alphabet[random() % alphabet.size()])); break;
        default: input.insert(at, input.substr(random() % input.size(), 1 + random() % 80)); break;
        }
    }
    return input.size() > max_length ? input.substr(0, max_length) : input;
}
