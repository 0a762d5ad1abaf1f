#ifndef VELMO_TESTING_CRASH_PROBE_PURE_CALL_H_
#define VELMO_TESTING_CRASH_PROBE_PURE_CALL_H_

// A base class whose constructor calls its own pure virtual function through
// a function in another file, so the compiler cannot see which override the
// call reaches and must dispatch through the vtable of the class under
// construction.
class Speaker {
 public:
  Speaker();
  virtual ~Speaker();
  virtual void Speak() = 0;
};

class LoudSpeaker : public Speaker {
 public:
  void Speak() override;
};

void LetSpeak(Speaker& speaker);

#endif  // VELMO_TESTING_CRASH_PROBE_PURE_CALL_H_
