#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <thread>

#include "ZenuService.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
      std::cout << zenu::ServiceConfig::Usage();
      return 0;
    }
    // Signals go to one waiting thread, so stopping the server never runs in a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    zenu::ZenuService service(zenu::ServiceConfig::FromArguments(args));
    int port = service.Bind();
    std::cout << "zenu-service listening on " << service.Context().config.host << ":" << port
              << std::endl;
    std::thread waiter([&service, signals] {
      int received = 0;
      sigwait(&signals, &received);
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
