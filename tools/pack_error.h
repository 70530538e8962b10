// The packers' one kind of failure: a message for the person packing, told
// once by the command and ending it.
#pragma once

#include <stdexcept>
#include <string>

namespace varnel::pack {

struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace varnel::pack
