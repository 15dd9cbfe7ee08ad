#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>

namespace tq9::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The directory with a trailing separator, as a program directory is written.
    std::string WithSeparator() const;
    std::filesystem::path File(const std::string& name) const { return path_ / name; }
    void Touch(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

}  // namespace tq9::test
