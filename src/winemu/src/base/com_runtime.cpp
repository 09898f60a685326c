// com_runtime.cpp: the COM runtime's table, as com/ provided it.
#include "base/com_runtime.hpp"

namespace winemu {
namespace {

// Constant-initialized, so that com/'s provision at load cannot run before it exists.
constinit const ComRuntime* provided = nullptr;

}  // namespace

void provide_com_runtime(const ComRuntime& runtime) noexcept { provided = &runtime; }

const ComRuntime& com_runtime() noexcept { return *provided; }

}  // namespace winemu
