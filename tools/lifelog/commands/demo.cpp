// `lifelog demo [--days N] [--seed S]`: the demo's phone day, recorded and
// reported on (demo/demo.h).
#include <memory>

#include "commands/commands.h"
#include "demo/demo.h"
#include "logging/indexes.h"

namespace lifelog_tool {

void addDemoCommand(Commands& commands) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* demo = commands.add(
        "demo",
        "record a simulated day through the service and report on it (a fresh database; "
        "default root: build/demo-root next to the tool)",
        [options](const Context& context) {
            runDemo(*options, context.invocation);
            indexWhenLarge();
            return 0;
        },
        DefaultRoot::Demo);
    demo->add_option("--days", options->days,
                     "also log N generated days before it, the same rows for the same seed")
        ->check(CLI::Range(0, 3650));
    demo->add_option("--seed", options->seed, "the seed of the generated days (default 1)");
}

}  // namespace lifelog_tool
