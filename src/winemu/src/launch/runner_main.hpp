// runner_main.hpp: what the service's runner program does once it has left its caller.
#pragma once

namespace winemu {

// Carries out the run that the arguments order (run_order_from), in the detached process; the
// process's exit status.
int runner_main(int argc, char** argv);

}  // namespace winemu
