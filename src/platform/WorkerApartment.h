#pragma once

// Per-thread set-up that office automation needs on the thread that drives it.
// Nothing is needed on Linux; the call marks the place where the worker prepares.
void initializeWorkerApartment();
