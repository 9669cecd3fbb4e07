// Static assets: what a request path may reach below the folder, and what
// it may not, whatever the path or the links in the folder say.
#include <gtest/gtest.h>

#include <unistd.h>

#include "system/smdhost_support.hpp"
#include "tools/smdhost/outputs/http/static_files.hpp"

using smdhttp::StaticFiles;

TEST(StaticFiles, ServesFilesBelowTheFolderOnly) {
    smdtest::TempDir dir;
    const std::string site = dir.file("site");
    ASSERT_EQ(std::system(("mkdir -p '" + site + "/js' '" + site + "/.git' '" + dir.path() + "/secret'").c_str()), 0);
    smdtest::write_file(site + "/index.html", "<p>home</p>");
    smdtest::write_file(site + "/js/app.js", "app()");
    smdtest::write_file(site + "/js/index.html", "js index");
    smdtest::write_file(site + "/.git/config", "hidden");
    smdtest::write_file(dir.path() + "/secret/key", "secret");
    ASSERT_EQ(::symlink("app.js", (site + "/js/alias.js").c_str()), 0);             // inside: allowed
    ASSERT_EQ(::symlink("../secret/key", (site + "/leak.txt").c_str()), 0);           // outside: refused
    ASSERT_EQ(::symlink(dir.path().c_str(), (site + "/up").c_str()), 0);              // folder outside
    const StaticFiles files(site);

    struct Served {
        const char* path;
        const char* body;
        const char* type;
    };
    for (const Served& s : {Served{"", "<p>home</p>", "text/html; charset=utf-8"},
                            Served{"/index.html", "<p>home</p>", "text/html; charset=utf-8"},
                            Served{"js/app.js", "app()", "text/javascript; charset=utf-8"},
                            Served{"js/alias.js", "app()", "text/javascript; charset=utf-8"},
                            Served{"js/", "js index", "text/html; charset=utf-8"},
                            Served{"js", "js index", "text/html; charset=utf-8"}}) {
        const auto f = files.read(s.path);
        ASSERT_TRUE(f.has_value()) << s.path;
        EXPECT_EQ(f->body, s.body) << s.path;
        EXPECT_EQ(f->content_type, s.type) << s.path;
    }
    for (const std::string& bad : std::vector<std::string>{"../secret/key", "js/../../secret/key", "js/../index.html", "leak.txt",
                                  "up/secret/key", ".git/config", "./index.html", "js//app.js",
                                  "js\\app.js", std::string("index.html\0x", 12), "missing.js"})
        EXPECT_FALSE(files.read(bad).has_value()) << bad;

    EXPECT_THROW(StaticFiles(dir.file("nowhere")), std::runtime_error);
}
