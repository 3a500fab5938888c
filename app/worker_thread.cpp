#include "app/worker_thread.h"

namespace orva {
namespace {

DWORD WINAPI runBody(void* body) {
    // The body arrives as the thread's parameter; it is a plain function.
    (*static_cast<WorkerThread::Body*>(body))();
    delete static_cast<WorkerThread::Body*>(body);
    return 0;
}

}  // namespace

WorkerThread::WorkerThread(Body body) {
    auto* parameter = new Body(body);
    handle_ = CreateThread(nullptr, 0, runBody, parameter, 0, &id_);
    if (handle_ == nullptr) {
        delete parameter;
        id_ = 0;
    }
}

void WorkerThread::join() {
    if (handle_ != nullptr) {
        WaitForSingleObject(handle_, INFINITE);
        detach();
    }
}

void WorkerThread::detach() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
        handle_ = nullptr;
        id_ = 0;
    }
}

}  // namespace orva
