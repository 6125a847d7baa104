#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "AdminCommands.h"
#include "ZenuService.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (std::find_if(args.begin(), args.end(), [](const std::string& a) {
          return a == "--help" || a == "-h";
        }) != args.end()) {
      std::cout << zenu::ServiceConfig::Usage();
      return 0;
    }
    zenu::ServiceConfig config = zenu::ServiceConfig::FromArguments(args);
    if (!config.command.empty()) return zenu::AdminCommands::Run(config, std::cout, std::cerr);
    if (config.scanOnly) return zenu::AdminCommands::Scan(config, std::cout, std::cerr);
    if (config.migrateOnly) return zenu::AdminCommands::Migrate(config, std::cout, std::cerr);

    // Signals go to one waiting thread, so stopping the server never runs in a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    zenu::ZenuService service(std::move(config));
    int port = service.Bind();
    std::cout << "zenu-service listening on " << service.Context().config.host << ":" << port
              << std::endl;
    std::thread waiter([&service, signals] {
      for (;;) {
        int received = 0;
        sigwait(&signals, &received);
        if (received != SIGHUP) break;
        service.RequestScan();
      }
      service.Stop();
    });
    service.Run();
    // The service object must outlive the waiter's stop; wake it if no signal came.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
  } catch (const std::invalid_argument& e) {
    std::cerr << "zenu-service: " << e.what() << "\n" << zenu::ServiceConfig::Usage();
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zenu-service: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
