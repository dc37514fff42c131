#include "PortIdentity.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <libudev.h>
#include <memory>
#include <sys/stat.h>

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string Text(const char* s) {
    return s != nullptr ? std::string(s) : std::string();
}

// udev's database names with '_' for blanks where a sysfs attribute is not there.
std::string Readable(std::string s) {
    for (char& c : s) {
        if (c == '_') {
            c = ' ';
        }
    }
    return s;
}

std::string FirstOf(udev_device* dev, std::initializer_list<const char*> properties) {
    for (const char* p : properties) {
        std::string v = Text(udev_device_get_property_value(dev, p));
        if (!v.empty()) {
            return v;
        }
    }
    return {};
}

} // namespace

std::string DeviceBehind(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return path;
    }
    return resolved;
}

std::string ByIdName(const std::string& path, const std::string& byIdDir) {
    const std::string device = DeviceBehind(path);
    DIR* d = opendir(byIdDir.c_str());
    if (d == nullptr) {
        return {};
    }
    std::string found;
    const std::string prefix = byIdDir + "/";
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string link = prefix + name;
        if (DeviceBehind(link) == device && link != device) {
            found = link;
            break;
        }
    }
    closedir(d);
    return found;
}

PortIdentity IdentifyPort(const std::string& path) {
    PortIdentity id;
    id.byId = ByIdName(path);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return id;
    }
    UdevPtr<udev> u(udev_new());
    if (!u) {
        return id;
    }
    UdevPtr<udev_device> dev(udev_device_new_from_devnum(u.get(), 'c', st.st_rdev));
    if (!dev) {
        return id;
    }
    // Without a udev daemon there is no database: the USB device's own
    // attributes in sysfs still tell the maker, the product and the serial.
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(dev.get(), "usb", "usb_device");
    if (usb == nullptr) {
        return id;
    }
    id.vendor = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
    id.model = Text(udev_device_get_sysattr_value(usb, "product"));
    id.serial = Text(udev_device_get_sysattr_value(usb, "serial"));
    if (id.vendor.empty()) {
        id.vendor = Readable(FirstOf(dev.get(), {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"}));
    }
    if (id.model.empty()) {
        id.model = Readable(FirstOf(dev.get(), {"ID_MODEL_FROM_DATABASE", "ID_MODEL"}));
    }
    if (id.serial.empty()) {
        id.serial = FirstOf(dev.get(), {"ID_SERIAL_SHORT"});
    }
    if (id.vendor.empty() && id.model.empty()) {
        // At least the numbers, e.g. 0403:6001.
        const std::string vid = Text(udev_device_get_sysattr_value(usb, "idVendor"));
        const std::string pid = Text(udev_device_get_sysattr_value(usb, "idProduct"));
        if (!vid.empty()) {
            id.vendor = vid + ":" + pid;
        }
    }
    return id;
}

std::string DescribeIdentity(const PortIdentity& identity) {
    std::string text = identity.vendor;
    if (!identity.model.empty()) {
        text += (text.empty() ? "" : " ") + identity.model;
    }
    if (!identity.serial.empty()) {
        text += (text.empty() ? "" : ", ") + std::string("serial ") + identity.serial;
    }
    if (!identity.byId.empty()) {
        text += (text.empty() ? "" : ", ") + identity.byId;
    }
    return text;
}
