// task_store_reset.hpp: brings the service's task store back to how it was at the start, so that
// every fidelity case meets the same store whatever the cases before it left behind.
#pragma once

namespace fidelity {

// Takes note of what the store holds now (and, on this side of Windows, gives winemu a fresh
// library of its own). Call once, before the first case.
void prepare_task_store();

// Removes every file and folder of the store (and on Windows of the folder above it) that was not
// there when it was prepared, and makes the store again if it is gone.
void reset_task_store();

// Gives back what prepare_task_store made for the run.
void finish_task_store();

}  // namespace fidelity
