// SPDX-License-Identifier: Apache-2.0
// The Python module "korloader": frames open through the public API, and their channels
// come back as read-only numpy views of the library's own arrays, each keeping its frame
// alive through the array's base; saving goes through the public frame writer.
#include "tools/common/FrameNames.h"

#include <korloader/IKor.h>
#include <korloader/IKorWriter.h>
#include <korloader/KorMappings.h>
#include <memory>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

constexpr int TextBytes = 65536;

struct FrameRelease {
    void operator()(IKor* frame) const { deleteIKor(frame); }
};

// An open frame. Arrays and groups handed to Python keep the Python object of their frame
// as their base or owner, so the frame outlives every view of its memory.
struct Frame {
    std::unique_ptr<IKor, FrameRelease> frame;
    std::string path;

    IKor& get() const { return *frame; }
};

struct ParticleGroup {
    py::object owner; // the Frame the group belongs to
    IFluxaSimPrtGroup* group;
};

int slotOf(const py::object& key) {
    if (py::isinstance<py::int_>(key)) {
        return key.cast<int>();
    }
    const int slot = kortool::gridChannelSlot(key.cast<std::string>());
    if (slot < 0) {
        throw py::value_error("unknown grid channel name: " + key.cast<std::string>());
    }
    return slot;
}

int particleChannelOf(const py::object& key) {
    if (py::isinstance<py::int_>(key)) {
        return key.cast<int>();
    }
    const std::string name = key.cast<std::string>();
    for (int channel = 0; channel < 32; ++channel) {
        if (kortool::particleChannelName(channel) == name) {
            return channel;
        }
    }
    throw py::value_error("unknown particle channel name: " + name);
}

Frame openFrame(const std::string& path, const py::object& mapping) {
    Frame opened;
    opened.path = path;
    opened.frame.reset(mapping.is_none() ? newIKor(path.c_str())
                                         : newIKorWithChannelsMapping(
                                               path.c_str(), mapping.cast<std::string>().c_str()));
    if (!opened.frame) {
        PyErr_SetString(PyExc_OSError,
                        (path + " cannot be opened: missing, unreadable, broken, or no plug-in "
                                "or mapped grid for it (set_log_file tells more)")
                            .c_str());
        throw py::error_already_set();
    }
    return opened;
}

py::object channelView(const py::object& self, const py::object& key) {
    const Frame& frame = self.cast<const Frame&>();
    const int slot = slotOf(key);
    const float* values = nullptr;
    {
        // The first request decodes; other Python threads may run meanwhile (frames are
        // safe to read from several threads).
        py::gil_scoped_release released;
        values = frame.get().getChannel(slot);
    }
    if (values == nullptr) {
        return py::none();
    }
    int size[3];
    frame.get().getGridSize(size);
    const py::ssize_t gx = size[0], gy = size[1], gz = size[2];
    const py::ssize_t item = sizeof(float);
    py::array view(py::dtype::of<float>(), {gz, gy, gx}, {gx * gy * item, gx * item, item}, values,
                   self);
    view.attr("flags").attr("writeable") = false;
    return std::move(view);
}

py::dtype dtypeOf(int channel) {
    switch (kortool::particleValueKind(channel)) {
    case 'l':
        return py::dtype::of<int64_t>();
    case 'i':
        return py::dtype::of<int32_t>();
    case 'u':
        return py::dtype::of<uint32_t>();
    default:
        return py::dtype::of<float>();
    }
}

py::array particleValues(const ParticleGroup& holder, const py::object& key) {
    IFluxaSimPrtGroup& group = *holder.group;
    const int channel = particleChannelOf(key);
    const int bytes = group.getChannelSize(channel);
    if (channel < 0 || channel >= 32 || bytes <= 0 || !group.hasChannel(channel)) {
        throw py::key_error("the group holds no particle channel " +
                            py::str(key).cast<std::string>());
    }
    const int components = kortool::particleComponents(channel);
    const py::dtype dtype = dtypeOf(channel);
    const py::ssize_t count = group.getParticleCount();
    std::vector<py::ssize_t> shape{count};
    if (components > 1) {
        shape.push_back(components);
    }
    py::array values(dtype, shape);
    char* out = static_cast<char*>(values.mutable_data());
    for (py::ssize_t i = 0; i < count; ++i) {
        if (!group.getValue(int(i), channel, out + i * bytes)) {
            throw std::runtime_error("particle channel " + std::to_string(channel) +
                                     " cannot be decoded");
        }
    }
    return values;
}

std::vector<std::string> channelNames(const std::string& path) {
    std::vector<std::string> names;
    std::vector<char> name(TextBytes);
    int flag = 0;
    for (int index = 0;
         korGet3rdPartyChannelName(name.data(), TextBytes, &flag, path.c_str(), index) >= 0;
         ++index) {
        names.emplace_back(name.data());
    }
    return names;
}

std::string defaultMapping(const std::string& path) {
    std::vector<char> text(TextBytes);
    korGenerateDefaultChannelMappings(text.data(), TextBytes, path.c_str());
    return text.data();
}

struct WriterRelease {
    void operator()(IKorWriter* writer) const { deleteIKorWriter(writer); }
};

void check(IKorWriter& writer, int result) {
    if (result == 0) {
        throw py::value_error(writer.getLastError());
    }
}

// An integer for every key, or the value kept under the key (slot number or name).
int perChannel(const py::object& setting, int slot, int fallback) {
    if (setting.is_none()) {
        return fallback;
    }
    if (py::isinstance<py::int_>(setting)) {
        return setting.cast<int>();
    }
    for (const auto& entry : setting.cast<py::dict>()) {
        if (slotOf(py::reinterpret_borrow<py::object>(entry.first)) == slot) {
            return entry.second.cast<int>();
        }
    }
    return fallback;
}

void saveParticles(IKorWriter& writer, const py::list& groups) {
    for (const py::handle& entry : groups) {
        const py::dict group = entry.cast<py::dict>();
        const py::dict channels =
            group.contains("channels") ? group["channels"].cast<py::dict>() : py::dict();
        py::ssize_t count = group.contains("count") ? group["count"].cast<py::ssize_t>() : -1;
        const int method = group.contains("method") ? group["method"].cast<int>() : 1;
        const int bits = group.contains("bits") ? group["bits"].cast<int>() : 32;
        std::vector<std::pair<int, py::array>> arrays;
        for (const auto& channel : channels) {
            const int id = particleChannelOf(py::reinterpret_borrow<py::object>(channel.first));
            py::array values = py::array::ensure(py::module_::import("numpy").attr(
                "ascontiguousarray")(channel.second, dtypeOf(id)));
            const py::ssize_t rows = values.ndim() == 0 ? 0 : values.shape(0);
            if (count >= 0 && rows != count) {
                throw py::value_error("particle channels of one group need one row per "
                                      "particle");
            }
            count = rows;
            const py::ssize_t expected = rows * kortool::particleComponents(id);
            if (values.size() != expected) {
                throw py::value_error("particle channel " + std::to_string(id) +
                                      " has the wrong number of components");
            }
            arrays.emplace_back(id, values);
        }
        const std::string name = group.contains("name") ? group["name"].cast<std::string>() : "";
        const int index = writer.addParticleGroup(name.c_str(), int(count < 0 ? 0 : count));
        check(writer, index >= 0 ? 1 : 0);
        for (const auto& [id, values] : arrays) {
            check(writer, writer.setParticleChannel(index, id, values.data(), method, bits));
        }
    }
}

void save(const std::string& path, const std::vector<int>& gridSize, const py::object& transform,
          const py::dict& channels, const py::object& bits, float step, const py::object& passes,
          int frameNumber, const std::string& note, const py::object& particleGroups) {
    if (gridSize.size() != 3) {
        throw py::value_error("grid_size is (gx, gy, gz)");
    }
    std::unique_ptr<IKorWriter, WriterRelease> writer(newIKorWriter());
    check(*writer, writer->setGridSize(gridSize[0], gridSize[1], gridSize[2]));
    if (!transform.is_none()) {
        const py::array_t<float, py::array::c_style | py::array::forcecast> matrix(transform);
        if (matrix.size() != 12) {
            throw py::value_error("transform is 12 floats: e1, e2, e3, translation");
        }
        check(*writer, writer->setTransform(matrix.data()));
    }
    writer->setFrameNumber(frameNumber);
    writer->setNote(note.c_str());
    const py::ssize_t voxels = py::ssize_t(gridSize[0]) * gridSize[1] * gridSize[2];
    for (const auto& entry : channels) {
        const int slot = slotOf(py::reinterpret_borrow<py::object>(entry.first));
        const py::array_t<float, py::array::c_style | py::array::forcecast> values(
            py::reinterpret_borrow<py::object>(entry.second));
        if (values.size() != voxels) {
            throw py::value_error("channel " + std::to_string(slot) + " holds " +
                                  std::to_string(values.size()) + " values for " +
                                  std::to_string(voxels) + " voxels");
        }
        const bool velocity = slot >= FluxaEnum::VelocityX && slot <= FluxaEnum::VelocityZ;
        check(*writer, writer->setChannel(slot, values.data(), perChannel(bits, slot, 16), step,
                                          perChannel(passes, slot, velocity ? 2 : 1)));
    }
    if (!particleGroups.is_none()) {
        saveParticles(*writer, particleGroups.cast<py::list>());
    }
    int saved = 0;
    {
        py::gil_scoped_release released;
        saved = writer->save(path.c_str());
    }
    check(*writer, saved);
}

} // namespace

PYBIND11_MODULE(korloader, module) {
    module.doc() = "Fluid simulation frame caches (kor, OpenVDB, Field3D) as numpy arrays";
    // The plug-ins beside the library, for .vdb and .f3d frames.
    initalizeKoraLoader(nullptr, nullptr, 0);

    py::class_<ParticleGroup>(module, "ParticleGroup")
        .def_property_readonly(
            "name", [](const ParticleGroup& g) { return std::string(g.group->getName()); })
        .def_property_readonly("count",
                               [](const ParticleGroup& g) { return g.group->getParticleCount(); })
        .def_property_readonly("channels",
                               [](const ParticleGroup& g) {
                                   std::vector<std::string> names;
                                   for (int c = 0; c < 32; ++c) {
                                       if (g.group->getChannelSize(c) > 0 &&
                                           g.group->hasChannel(c)) {
                                           names.push_back(kortool::particleChannelName(c));
                                       }
                                   }
                                   return names;
                               })
        .def("values", &particleValues, py::arg("channel"),
             "One row per particle of a channel (number or name such as 'position', 'id')")
        .def(
            "find_by_id",
            [](const ParticleGroup& g, long long id) { return g.group->findParticleById(id); },
            py::arg("id"), "Index of the particle with this identifier, or -1");

    py::class_<Frame>(module, "Frame")
        .def_readonly("path", &Frame::path)
        .def_property_readonly("grid_size",
                               [](const Frame& f) {
                                   int size[3];
                                   f.get().getGridSize(size);
                                   return py::make_tuple(size[0], size[1], size[2]);
                               })
        .def_property_readonly("transform",
                               [](const Frame& f) {
                                   py::array_t<float> transform(12);
                                   f.get().getTransform(transform.mutable_data());
                                   return transform;
                               })
        .def("channels",
             [](const Frame& f) {
                 std::vector<int> slots;
                 for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
                     if (f.get().hasChannel(slot)) {
                         slots.push_back(slot);
                     }
                 }
                 return slots;
             })
        .def("channel", &channelView, py::arg("slot_or_name"),
             "Read-only float32 view (gz, gy, gx) of a grid channel, or None when absent")
        .def("_channel_address",
             [](const Frame& f, int slot) {
                 return reinterpret_cast<uintptr_t>(f.get().getChannel(slot));
             })
        .def_property_readonly("particle_groups", [](const py::object& self) {
            IKor& frame = self.cast<const Frame&>().get();
            py::list groups;
            for (int g = 0; g < frame.getParticleGroupCount(); ++g) {
                groups.append(ParticleGroup{self, frame.getParticleGroup(unsigned(g))});
            }
            return groups;
        });

    module.def("open", &openFrame, py::arg("path"), py::arg("mapping") = py::none(),
               "Opens a frame (.kor, .vdb, .f3d); mapping defaults to the file's default");
    module.def("save", &save, py::arg("path"), py::arg("grid_size"),
               py::arg("transform") = py::none(), py::arg("channels") = py::dict(),
               py::arg("bits") = 16, py::arg("step") = 0.0f, py::arg("passes") = py::none(),
               py::arg("frame_number") = 0, py::arg("note") = "",
               py::arg("particle_groups") = py::none(),
               "Saves a frame as .kor (or .vdb through the plug-in)");
    module.def("channel_names", &channelNames, py::arg("path"),
               "Grids a VDB or Field3D file offers");
    module.def("default_mapping", &defaultMapping, py::arg("path"),
               "The default channel-mapping string of a VDB or Field3D file");
    module.def("set_thread_count", &korSetThreadCount, py::arg("threads"),
               "Threads of the library's pool (0: none); returns the count in use");
    module.def(
        "set_log_file",
        [](const py::object& path, bool truncate) {
            const std::string text = path.is_none() ? "" : path.cast<std::string>();
            if (korSetLogFile(text.c_str(), truncate ? 1 : 0) == 0) {
                throw py::value_error("the log file " + text + " cannot be created");
            }
        },
        py::arg("path"), py::arg("truncate") = false,
        "Sends the library's diagnostic log to a file (None turns it off)");
}
