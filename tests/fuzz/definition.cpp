// Any bytes as a definition file: the load ends with one of its four outcomes, and the pairs it
// loads are the fields the field reader finds, taken two at a time.

#include "engine/LoadDefinition.h"
#include "platform/Cp932.h"
#include "platform/FieldReader.h"
#include "platform/FileName.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// One file for every input, removed when the run ends.
struct DefinitionFile {
    DefinitionFile()
    {
        path = access("/dev/shm", W_OK) == 0 ? "/dev/shm/vandor-fuzz-XXXXXX"
                                             : "/tmp/vandor-fuzz-XXXXXX";
        const int fd = mkstemp(path.data());
        if (fd < 0) {
            std::abort();
        }
        close(fd);
    }
    ~DefinitionFile() { unlink(path.c_str()); }
    std::string path;
};

const std::string& DefinitionPath()
{
    static const DefinitionFile file;
    return file.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(DefinitionPath(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::abort();
        }
    }
    engine::PairTable table;
    const engine::DefinitionOutcome outcome
        = engine::LoadDefinition(platform::DecodeFileName(DefinitionPath()), table);

    std::vector<std::string> fields;
    platform::FieldReader reader(bytes);
    std::string field;
    while (reader.ReadField(field)) {
        fields.push_back(field);
        // Every field takes at least one byte; more fields than that means the reader stands still.
        if (fields.size() > size) {
            std::abort();
        }
    }
    if (!reader.AtEnd()) {
        std::abort();
    }

    const bool even = fields.size() % 2 == 0;
    switch (outcome) {
    case engine::DefinitionOutcome::Loaded: {
        if (!even || fields.empty()
            || static_cast<std::size_t>(table.LastPairIndex() + 1) != fields.size() / 2) {
            std::abort();
        }
        for (std::size_t k = 0; k < fields.size() / 2; ++k) {
            if (table.SearchText(k) != platform::DecodeCp932(fields[2 * k])
                || table.ReplaceText(k) != platform::DecodeCp932(fields[2 * k + 1])
                || table.ReplaceBytes(k) != fields[2 * k + 1]) {
                std::abort();
            }
        }
        break;
    }
    case engine::DefinitionOutcome::Empty:
        if (!fields.empty() || table.LastPairIndex() != -1) {
            std::abort();
        }
        break;
    case engine::DefinitionOutcome::NotPaired:
        if (even) {
            std::abort();
        }
        break;
    case engine::DefinitionOutcome::CannotOpen: // the file is there and readable
    default:
        std::abort();
    }
    return 0;
}
