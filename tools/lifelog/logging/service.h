// The lifelog service as the platform's server process runs it: the
// service class registered with the component registry, then
// ZKivLifelogServer_initialize until ZKivLifelogServer_finalize.
#ifndef LIFELOG_TOOL_LOGGING_SERVICE_H
#define LIFELOG_TOOL_LOGGING_SERVICE_H

namespace lifelog_tool {

class RunningService {
public:
    // Registers the service class, starts the service and waits until its
    // event controller has registered with the notification component, so
    // that a delivery made right after finds it.  Throws Failure when the
    // service does not come up (the platform log says why).
    RunningService();
    ~RunningService() { stop(); }
    RunningService(const RunningService&) = delete;
    RunningService& operator=(const RunningService&) = delete;

    // Waits until every notification delivered so far has been handled on
    // the logging thread; throws Failure after 30 s.
    static void waitIdle();
    // Stops the service and unregisters its class; idempotent.
    void stop();

private:
    bool running_ = false;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_SERVICE_H
