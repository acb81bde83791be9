#pragma once

#include <cstddef>

// The size of the runtime's header before every thrown object, as the DLL lays it out.
std::size_t ThrownObjectHeaderSize() noexcept;
