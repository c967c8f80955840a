#pragma once
// A fresh folder for one test, removed with everything in it when the object goes.

#include <filesystem>
#include <string>

class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of an entry inside the folder, as UTF-8.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};
