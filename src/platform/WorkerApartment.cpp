#include "WorkerApartment.h"

void initializeWorkerApartment()
{
}
