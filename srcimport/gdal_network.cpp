#include "gdal_network.h"

#include <cpl_http.h>
#include <cpl_vsi_virtual.h>

#include <mutex>
#include <string>
#include <vector>

namespace kvgimport {

namespace {

constexpr const char *NETWORK_OFF = "network access is off";

CPLHTTPResult *refuseFetch(const char *, CSLConstList, GDALProgressFunc, void *,
                           CPLHTTPFetchWriteFunc, void *, void *) {
    auto *result = static_cast<CPLHTTPResult *>(CPLCalloc(1, sizeof(CPLHTTPResult)));
    result->nStatus = 1;
    result->pszErrBuf = CPLStrdup(NETWORK_OFF);
    CPLError(CE_Failure, CPLE_AppDefined, "%s", NETWORK_OFF);
    return result;
}

// Stands in for a network file system: nothing exists there and nothing opens.
class NoNetworkFiles : public VSIFilesystemHandler {
public:
    VSIVirtualHandle *Open(const char *, const char *, bool setError, CSLConstList) override {
        if (setError) VSIError(VSIE_FileError, "%s", NETWORK_OFF);
        return nullptr;
    }
    int Stat(const char *, VSIStatBufL *, int) override { return -1; }
    bool IsLocal(const char *) override { return false; }
};

bool reachesNetwork(const std::string &prefix) {
    const std::string streaming = "_streaming/";
    return !VSIFileManager::GetHandler(prefix.c_str())->IsLocal(prefix.c_str()) ||
           (prefix.size() > streaming.size() &&
            prefix.compare(prefix.size() - streaming.size(), streaming.size(), streaming) == 0);
}

}  // namespace

void turnOffGdalNetwork() {
    static std::once_flag once;
    std::call_once(once, [] {
        CPLHTTPSetFetchCallback(refuseFetch, nullptr);
        // The manager owns (and deletes at GDAL's end) the handlers installed; the ones
        // replaced stay held here for the process's life, as GDAL would have held them.
        static auto *replaced = new std::vector<VSIFilesystemHandler *>;
        NoNetworkFiles *noNetwork = nullptr;
        char **prefixes = VSIFileManager::GetPrefixes();
        for (char **p = prefixes; p != nullptr && *p != nullptr; ++p)
            if (reachesNetwork(*p)) {
                if (noNetwork == nullptr) noNetwork = new NoNetworkFiles;
                replaced->push_back(VSIFileManager::GetHandler(*p));
                VSIFileManager::InstallHandler(*p, noNetwork);
            }
        CSLDestroy(prefixes);
    });
}

}  // namespace kvgimport
