#include "vtkVoxReader.h"

#include "volume.hpp"

#include "vtkBitArray.h"
#include "vtkDataArray.h"
#include "vtkDoubleArray.h"
#include "vtkImageData.h"
#include "vtkInformation.h"
#include "vtkInformationVector.h"
#include "vtkObjectFactory.h"
#include "vtkPointData.h"
#include "vtkRectilinearGrid.h"
// VTK 9.1's vtkSMPTools.h is no valid C++20 (template-ids as constructor names): there the
// machine's threads are taken instead of the SMP setting.
#include "vtkVersionMacros.h"
#if VTK_VERSION_NUMBER >= VTK_VERSION_CHECK(9, 2, 0)
#include "vtkSMPTools.h"
#define VOX_HAVE_SMP_TOOLS 1
#endif
#include "vtkSmartPointer.h"
#include "vtkStreamingDemandDrivenPipeline.h"
#include "vtkTypeTraits.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>

namespace {
using vox::legacy::number_kind;

template <typename T>
constexpr int vtk_type() {
    if constexpr (std::is_same_v<T, float>) {
        return VTK_FLOAT;
    } else if constexpr (std::is_same_v<T, double>) {
        return VTK_DOUBLE;
    } else if constexpr (sizeof(T) == 8) {
        return std::is_signed_v<T> ? VTK_TYPE_INT64 : VTK_TYPE_UINT64;
    } else {
        return vtkTypeTraits<T>::VTKTypeID();
    }
}

// The VTK type of the samples' type word.
int vtk_type_of(const vox::legacy::type_info& type) {
    if (type.kind == number_kind::bit) {
        return VTK_BIT;
    }
    if (type.word == "char") {
        return VTK_CHAR; // VTK's char array, as its own reader makes it
    }
    int id = VTK_VOID;
    VOX_TYPE_SWITCH(type, id = vtk_type<vox_t>())
    return id;
}

// The threads that VTK's SMP tools use: one where they run sequentially; none (the process's
// CPU affinity) where VTK has no such setting.
unsigned smp_threads() {
#ifdef VOX_HAVE_SMP_TOOLS
    const char* backend = vtkSMPTools::GetBackend();
    if (backend == nullptr || std::string_view(backend) == "Sequential") {
        return 1;
    }
    return static_cast<unsigned>(std::max(1, vtkSMPTools::GetEstimatedNumberOfThreads()));
#else
    return 0;
#endif
}

// The grid lines of output indices `first` to `last` along `axis`: those of their input lines.
vtkSmartPointer<vtkDoubleArray> positions(const std::vector<double>& all,
                                          const vox::view::selection& selected, std::size_t axis,
                                          int first, int last) {
    auto array = vtkSmartPointer<vtkDoubleArray>::New();
    array->SetNumberOfTuples(last - first + 1);
    for (int i = first; i <= last; ++i) {
        array->SetValue(i - first, all[static_cast<std::size_t>(selected.index(axis, i))]);
    }
    return array;
}
} // namespace

struct vtkVoxReader::Internals {
    vox::view::volume Volume;
    vox::view::selection Selected;
    bool Opened = false;
    // What the volume was opened from: the reader's settings and the file's state then.
    int Order = BigEndian;
    std::string Name;
    struct timespec Changed = {};
    off_t Size = 0;
};

vtkStandardNewMacro(vtkVoxReader);

vtkVoxReader::vtkVoxReader() : Internal(new Internals) {
    this->SetNumberOfInputPorts(0);
    this->SetNumberOfOutputPorts(1);
}

vtkVoxReader::~vtkVoxReader() {
    this->SetFileName(nullptr);
}

void vtkVoxReader::PrintSelf(ostream& os, vtkIndent indent) {
    this->Superclass::PrintSelf(os, indent);
    os << indent << "FileName: " << (this->FileName ? this->FileName : "(none)") << "\n";
    os << indent << "ByteOrder: " << this->ByteOrder << "\n";
    os << indent << "NumberOfThreads: " << this->NumberOfThreads << "\n";
    os << indent << "HugePages: " << this->HugePages << "\n";
    os << indent << "SampleRate: " << this->SampleRate[0] << " " << this->SampleRate[1] << " "
       << this->SampleRate[2] << "\n";
    os << indent << "VOI:";
    for (const int i : this->VOI) {
        os << " " << i;
    }
    os << "\n" << indent << "MemoryMap: " << this->MemoryMap << "\n";
    os << indent << "SamplesMapped: " << this->SamplesMapped << "\n";
    os << indent << "SampleBytesRead: " << this->SampleBytesRead << "\n";
}

int vtkVoxReader::CanReadFile(const char* name) {
    return name != nullptr && vox::view::claims(name) ? 1 : 0;
}

int vtkVoxReader::GetSamplesLittleEndian() {
    return this->Open() && this->Internal->Volume.little_endian_samples ? 1 : 0;
}

int vtkVoxReader::FillOutputPortInformation(int, vtkInformation* info) {
    info->Set(vtkDataObject::DATA_TYPE_NAME(), "vtkDataSet");
    return 1;
}

bool vtkVoxReader::Open() {
    Internals& in = *this->Internal;
    if (this->FileName == nullptr || this->FileName[0] == '\0') {
        vtkErrorMacro(<< "No file name is set");
        in.Opened = false;
        return false;
    }
    struct stat st = {};
    const bool found = ::stat(this->FileName, &st) == 0;
    if (in.Opened && in.Order == this->ByteOrder && in.Name == this->FileName && found &&
        st.st_mtim.tv_sec == in.Changed.tv_sec && st.st_mtim.tv_nsec == in.Changed.tv_nsec &&
        st.st_size == in.Size) {
        return true;
    }
    in.Opened = false;
    const std::string why = vox::view::open(
        this->FileName, static_cast<vox::view::byte_order>(this->ByteOrder), in.Volume);
    if (!why.empty()) {
        vtkErrorMacro(<< why);
        return false;
    }
    if (in.Volume.order_unknown) {
        vtkWarningMacro(<< this->FileName << ": " << in.Volume.order_note);
    }
    in.Opened = true;
    in.Order = this->ByteOrder;
    in.Name = this->FileName;
    in.Changed = st.st_mtim;
    in.Size = st.st_size;
    return true;
}

bool vtkVoxReader::Select() {
    if (!this->Open()) {
        return false;
    }
    Internals& in = *this->Internal;
    vox::view::extent voi;
    std::copy(this->VOI, this->VOI + 6, voi.begin());
    const std::string why = vox::view::select(
        in.Volume, voi, {this->SampleRate[0], this->SampleRate[1], this->SampleRate[2]},
        in.Selected);
    if (!why.empty()) {
        vtkErrorMacro(<< why);
        return false;
    }
    return true;
}

int vtkVoxReader::RequestDataObject(vtkInformation*, vtkInformationVector**,
                                    vtkInformationVector* outputs) {
    if (!this->Open()) {
        return 0;
    }
    vtkInformation* info = outputs->GetInformationObject(0);
    const bool uniform = this->Internal->Volume.model.grid == vox::legacy::grid_kind::uniform;
    vtkDataObject* output = info->Get(vtkDataObject::DATA_OBJECT());
    if (output == nullptr || output->IsA(uniform ? "vtkImageData" : "vtkRectilinearGrid") == 0) {
        vtkSmartPointer<vtkDataObject> made;
        if (uniform) {
            made = vtkSmartPointer<vtkImageData>::New();
        } else {
            made = vtkSmartPointer<vtkRectilinearGrid>::New();
        }
        info->Set(vtkDataObject::DATA_OBJECT(), made);
    }
    return 1;
}

int vtkVoxReader::RequestInformation(vtkInformation*, vtkInformationVector**,
                                     vtkInformationVector* outputs) {
    if (!this->Select()) {
        return 0;
    }
    const vox::view::volume& v = this->Internal->Volume;
    const vox::view::selection& selected = this->Internal->Selected;
    vtkInformation* info = outputs->GetInformationObject(0);
    vox::view::extent whole = selected.whole;
    info->Set(vtkStreamingDemandDrivenPipeline::WHOLE_EXTENT(), whole.data(), 6);
    info->Set(vtkAlgorithm::CAN_PRODUCE_SUB_EXTENT(), 1);
    if (v.model.grid == vox::legacy::grid_kind::uniform) {
        info->Set(vtkDataObject::SPACING(), selected.spacing(v).data(), 3);
        info->Set(vtkDataObject::ORIGIN(), selected.origin(v).data(), 3);
    }
    const vox::legacy::array_info& a = v.samples();
    vtkDataObject::SetPointDataActiveScalarInfo(info, vtk_type_of(*a.type),
                                                static_cast<int>(a.components));
    return 1;
}

namespace {
// How the samples are to be read, from the reader's properties, and what became of them.
struct read_settings {
    bool map = false;
    unsigned threads = 0;
    bool huge_pages = false;
};
struct read_outcome {
    std::uint64_t bytes_read = 0;
    bool mapped = false;
};

// Reads the samples of `input` into the point data of `output` as `reader`'s settings say, mapping
// the file's pages where `settings.map`: an empty text, or why not.
std::string read_into(vtkAlgorithm* reader, const vox::view::volume& v,
                      const vox::view::sampling& input, const read_settings& settings,
                      vtkDataSet* output, read_outcome& outcome) {
    const vox::legacy::array_info& a = v.samples();
    const auto points = static_cast<vtkIdType>(input.points());
    const vtkIdType values = points * static_cast<vtkIdType>(a.components);
    vtkSmartPointer<vtkDataArray> samples;
    samples.TakeReference(vtkDataArray::CreateDataArray(vtk_type_of(*a.type)));
    samples->SetNumberOfComponents(static_cast<int>(a.components));
    samples->SetName(a.name.c_str());
    reader->UpdateProgress(0);
    // The file's own pages, where they can be handed over as they are.
    if (settings.map && vtkBitArray::SafeDownCast(samples) == nullptr) {
        if (char* pages = vox::view::map_samples(v, input)) {
            samples->SetVoidArray(pages, values, 0, vtkAbstractArray::VTK_DATA_ARRAY_USER_DEFINED);
            samples->SetArrayFreeFunction(vox::view::unmap_samples);
            outcome.mapped = true;
            output->GetPointData()->SetScalars(samples);
            reader->UpdateProgress(1);
            return {};
        }
    }
    const auto bytes =
        static_cast<std::uint64_t>(values) * (a.type->kind == number_kind::bit ? 1 : a.type->size);
    const std::string no_memory = std::string(v.header_path + ": samples: no memory for ") +
                                  std::to_string(bytes) + " bytes of samples";
    // The memory is taken here, not by VTK, which may abort the process where it finds none.
    if (vtkBitArray::SafeDownCast(samples) != nullptr) {
        samples->SetNumberOfTuples(points); // an eighth of the bytes; std::bad_alloc is caught
    } else if (void* memory =
                   std::malloc(static_cast<std::size_t>(std::max<std::uint64_t>(bytes, 1)))) {
        samples->SetVoidArray(memory, values, 0, vtkAbstractArray::VTK_DATA_ARRAY_FREE);
    } else {
        return no_memory;
    }
    vox::view::reading how;
    how.threads = settings.threads;
    how.huge_pages = settings.huge_pages;
    how.progress = [reader](double share) {
        reader->UpdateProgress(share);
        return reader->GetAbortExecute() != 0;
    };
    std::string why;
    std::uint64_t read = 0;
    if (auto* bits = vtkBitArray::SafeDownCast(samples)) {
        std::vector<char> each(static_cast<std::size_t>(values));
        why = vox::view::read_samples(v, input, each.data(), read, how);
        for (std::size_t i = 0; why.empty() && i < each.size(); ++i) {
            bits->SetValue(static_cast<vtkIdType>(i), each[i]);
        }
    } else {
        why = vox::view::read_samples(v, input, static_cast<char*>(samples->GetVoidPointer(0)),
                                      read, how);
    }
    outcome.bytes_read = read;
    if (why.empty()) {
        output->GetPointData()->SetScalars(samples);
    }
    return why;
}
} // namespace

int vtkVoxReader::RequestData(vtkInformation*, vtkInformationVector**,
                              vtkInformationVector* outputs) {
    this->SamplesMapped = 0;
    if (!this->Select()) {
        return 0;
    }
    const vox::view::volume& v = this->Internal->Volume;
    const vox::view::selection& selected = this->Internal->Selected;
    vtkInformation* info = outputs->GetInformationObject(0);
    vtkDataSet* output = vtkDataSet::SafeDownCast(info->Get(vtkDataObject::DATA_OBJECT()));
    if (output == nullptr) {
        vtkErrorMacro(<< "No output to read " << this->FileName << " into");
        return 0;
    }
    // The part asked for, of the selected grid, and the input samples that make it.
    vox::view::extent part = selected.whole;
    if (info->Has(vtkStreamingDemandDrivenPipeline::UPDATE_EXTENT())) {
        info->Get(vtkStreamingDemandDrivenPipeline::UPDATE_EXTENT(), part.data());
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        part[2 * axis] = std::max(part[2 * axis], selected.whole[2 * axis]);
        part[2 * axis + 1] = std::min(part[2 * axis + 1], selected.whole[2 * axis + 1]);
        if (part[2 * axis] > part[2 * axis + 1]) {
            return 1; // an empty piece
        }
    }
    const vox::view::sampling input = selected.of(part);
    if (auto* image = vtkImageData::SafeDownCast(output)) {
        image->SetExtent(part.data());
        image->SetSpacing(selected.spacing(v).data());
        image->SetOrigin(selected.origin(v).data());
    } else if (auto* grid = vtkRectilinearGrid::SafeDownCast(output)) {
        grid->SetExtent(part.data());
        grid->SetXCoordinates(positions(v.coordinates[0], selected, 0, part[0], part[1]));
        grid->SetYCoordinates(positions(v.coordinates[1], selected, 1, part[2], part[3]));
        grid->SetZCoordinates(positions(v.coordinates[2], selected, 2, part[4], part[5]));
    }
    read_settings settings;
    settings.map = this->MemoryMap != 0;
    settings.threads =
        this->NumberOfThreads > 0 ? static_cast<unsigned>(this->NumberOfThreads) : smp_threads();
    settings.huge_pages = this->HugePages != 0;
    read_outcome outcome;
    std::string why;
    try {
        why = read_into(this, v, input, settings, output, outcome);
    } catch (const std::exception& error) {
        why = v.header_path + ": samples: " + error.what();
    }
    this->SampleBytesRead += static_cast<vtkIdType>(outcome.bytes_read);
    this->SamplesMapped = outcome.mapped ? 1 : 0;
    if (!why.empty()) {
        if (why != vox::view::stopped) {
            vtkErrorMacro(<< why);
        }
        output->Initialize();
        return why == vox::view::stopped ? 1 : 0;
    }
    return 1;
}
