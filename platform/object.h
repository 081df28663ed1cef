#pragma once

// The common root of the library's classes. It serves as the type of the
// "sender" argument of events, as the platform's object base did.
class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};
