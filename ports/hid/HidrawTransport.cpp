#include "HidrawTransport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <linux/hidraw.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace linkhid {

namespace {

// Names longer than this are not USB strings.
constexpr size_t kMaxNameBytes = 255;
// A hidraw node sits at most a few levels below its USB device.
constexpr int kMaxParentLevels = 6;
// The kernel's limit on one report transfer.
constexpr size_t kMaxTransferBytes = 16384;

std::string readAttribute(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string text;
    std::getline(in, text, '\0');
    if (text.size() > kMaxNameBytes)
        text.resize(kMaxNameBytes);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

std::unique_ptr<HidrawTransport> HidrawTransport::open(const std::string& path, int& error)
{
    linkport::FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid()) {
        error = errno;
        return nullptr;
    }
    // Two programs interleaving index writes and value reads would corrupt both.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<HidrawTransport>(new HidrawTransport(std::move(fd)));
}

HidrawTransport::HidrawTransport(linkport::FileDescriptor fd) : fd(std::move(fd)) {}

HidrawTransport::~HidrawTransport()
{
    flock(fd.get(), LOCK_UN);
}

bool HidrawTransport::readDescriptor(std::vector<uint8_t>& descriptor)
{
    int size = 0;
    if (ioctl(fd.get(), HIDIOCGRDESCSIZE, &size) != 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    hidraw_report_descriptor raw{};
    raw.size = static_cast<uint32_t>(size);
    if (ioctl(fd.get(), HIDIOCGRDESC, &raw) != 0)
        return false;
    descriptor.assign(raw.value, raw.value + raw.size);
    return true;
}

void HidrawTransport::readNames(std::string& manufacturer, std::string& product)
{
    manufacturer.clear();
    product.clear();
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISCHR(info.st_mode))
        return;
    const std::string node =
        "/sys/dev/char/" + std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    namesFromSysfs(realPath(node + "/device"), "/sys", manufacturer, product);
}

void HidrawTransport::namesFromSysfs(const std::string& deviceDir, const std::string& stopAt,
                                     std::string& manufacturer, std::string& product)
{
    std::string dir = deviceDir;
    for (int level = 0; level < kMaxParentLevels && dir.size() > stopAt.size(); ++level) {
        std::string foundManufacturer = readAttribute(dir + "/manufacturer");
        std::string foundProduct = readAttribute(dir + "/product");
        if (!foundManufacturer.empty() || !foundProduct.empty()) {
            manufacturer = foundManufacturer;
            product = foundProduct;
            return;
        }
        size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return;
        dir.resize(slash);
    }
}

int HidrawTransport::getFeature(uint8_t* report, size_t length)
{
    if (!report || length == 0 || length > kMaxTransferBytes)
        return -1;
    int got = ioctl(fd.get(), HIDIOCGFEATURE(length), report);
    return got < 0 || static_cast<size_t>(got) > length ? -1 : got;
}

bool HidrawTransport::setFeature(const uint8_t* report, size_t length)
{
    if (!report || length == 0 || length > kMaxTransferBytes)
        return false;
    // The kernel's request takes a mutable buffer although it only reads it.
    std::vector<uint8_t> copy(report, report + length);
    int sent = ioctl(fd.get(), HIDIOCSFEATURE(length), copy.data());
    return sent >= 0 && static_cast<size_t>(sent) == length;
}

} // namespace linkhid
