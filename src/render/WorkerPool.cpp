// (Placeholder until the worker pool lands: runs nothing.)
#include "render/WorkerPool.h"

namespace qel {

struct WorkerPool::State {};

WorkerPool::WorkerPool() = default;
WorkerPool::~WorkerPool() = default;
HRESULT WorkerPool::Submit(JobFunction, void*, int32_t*, int32_t) { return E_FAIL; }
HRESULT WorkerPool::Wait(int32_t, uint32_t, int32_t*) { return E_FAIL; }
HRESULT WorkerPool::SetMaxThreads(uint32_t) { return S_OK; }
HRESULT WorkerPool::StopIdleThreads() { return S_OK; }

}  // namespace qel
