#include "import_support.h"

#include <gdal_utils.h>
#include <gtest/gtest.h>
#include <ogr_api.h>

namespace kvgtest {

void translate(const std::string &from, const std::string &to, std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALAllRegister();
    GDALVectorTranslateOptions *options = GDALVectorTranslateOptionsNew(argv.data(), nullptr);
    GDALDatasetH source = GDALOpenEx(from.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    int error = 0;
    GDALDatasetH out = GDALVectorTranslate(to.c_str(), nullptr, 1, &source, options, &error);
    GDALVectorTranslateOptionsFree(options);
    ASSERT_NE(out, nullptr) << to;
    GDALClose(out);
    GDALClose(source);
}

}  // namespace kvgtest
