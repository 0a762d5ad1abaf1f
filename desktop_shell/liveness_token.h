#ifndef VELMO_DESKTOP_SHELL_LIVENESS_TOKEN_H_
#define VELMO_DESKTOP_SHELL_LIVENESS_TOKEN_H_

#include <memory>
#include <utility>

// Held by an object that runs a nested message loop (a popup menu) on its own
// behalf: anything that loop dispatches may destroy the object, so the code
// after the loop asks a watcher taken before it whether its object still lives.
class LivenessToken {
  struct Alive {};

 public:
  class Watcher {
   public:
    bool owner_alive() const { return !owner_.expired(); }

   private:
    friend class LivenessToken;
    explicit Watcher(std::weak_ptr<const Alive> owner) : owner_(std::move(owner)) {}
    std::weak_ptr<const Alive> owner_;
  };

  Watcher Watch() const { return Watcher(alive_); }

 private:
  std::shared_ptr<const Alive> alive_ = std::make_shared<const Alive>();
};

#endif  // VELMO_DESKTOP_SHELL_LIVENESS_TOKEN_H_
