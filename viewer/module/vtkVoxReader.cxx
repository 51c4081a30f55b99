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

// The threads that VTK's SMP tools use, or none (the machine's) where they run sequentially.
unsigned smp_threads() {
#ifdef VOX_HAVE_SMP_TOOLS
    const char* backend = vtkSMPTools::GetBackend();
    if (backend == nullptr || std::string_view(backend) == "Sequential") {
        return 0;
    }
    return static_cast<unsigned>(std::max(1, vtkSMPTools::GetEstimatedNumberOfThreads()));
#else
    return 0;
#endif
}

vtkSmartPointer<vtkDoubleArray> positions(const std::vector<double>& all, int first, int last) {
    auto array = vtkSmartPointer<vtkDoubleArray>::New();
    array->SetNumberOfTuples(last - first + 1);
    for (int i = first; i <= last; ++i) {
        array->SetValue(i - first, all[static_cast<std::size_t>(i)]);
    }
    return array;
}
} // namespace

struct vtkVoxReader::Internals {
    vox::view::volume Volume;
    bool Opened = false;
    // What the volume was opened from: the reader's settings and the file's state then.
    vtkMTimeType OpenedAt = 0;
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
    if (in.Opened && in.OpenedAt >= this->GetMTime() && in.Name == this->FileName && found &&
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
    in.OpenedAt = this->GetMTime();
    in.Name = this->FileName;
    in.Changed = st.st_mtim;
    in.Size = st.st_size;
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
    if (!this->Open()) {
        return 0;
    }
    const vox::view::volume& v = this->Internal->Volume;
    vtkInformation* info = outputs->GetInformationObject(0);
    vox::view::extent whole = v.whole();
    info->Set(vtkStreamingDemandDrivenPipeline::WHOLE_EXTENT(), whole.data(), 6);
    info->Set(vtkAlgorithm::CAN_PRODUCE_SUB_EXTENT(), 1);
    if (v.model.grid == vox::legacy::grid_kind::uniform) {
        info->Set(vtkDataObject::SPACING(), v.model.spacing.data(), 3);
        info->Set(vtkDataObject::ORIGIN(), v.model.origin.data(), 3);
    }
    const vox::legacy::array_info& a = v.samples();
    vtkDataObject::SetPointDataActiveScalarInfo(info, vtk_type_of(*a.type),
                                                static_cast<int>(a.components));
    return 1;
}

int vtkVoxReader::RequestData(vtkInformation*, vtkInformationVector**,
                              vtkInformationVector* outputs) {
    if (!this->Open()) {
        return 0;
    }
    const vox::view::volume& v = this->Internal->Volume;
    vtkInformation* info = outputs->GetInformationObject(0);
    vtkDataSet* output = vtkDataSet::SafeDownCast(info->Get(vtkDataObject::DATA_OBJECT()));
    if (output == nullptr) {
        vtkErrorMacro(<< "No output to read " << this->FileName << " into");
        return 0;
    }
    vox::view::extent part = v.whole();
    if (info->Has(vtkStreamingDemandDrivenPipeline::UPDATE_EXTENT())) {
        info->Get(vtkStreamingDemandDrivenPipeline::UPDATE_EXTENT(), part.data());
    }
    const vox::view::extent whole = v.whole();
    for (int axis = 0; axis < 3; ++axis) {
        part[2 * axis] = std::max(part[2 * axis], whole[2 * axis]);
        part[2 * axis + 1] = std::min(part[2 * axis + 1], whole[2 * axis + 1]);
        if (part[2 * axis] > part[2 * axis + 1]) {
            return 1; // an empty piece
        }
    }
    if (auto* image = vtkImageData::SafeDownCast(output)) {
        image->SetExtent(part.data());
        image->SetSpacing(v.model.spacing.data());
        image->SetOrigin(v.model.origin.data());
    } else if (auto* grid = vtkRectilinearGrid::SafeDownCast(output)) {
        grid->SetExtent(part.data());
        grid->SetXCoordinates(positions(v.coordinates[0], part[0], part[1]));
        grid->SetYCoordinates(positions(v.coordinates[1], part[2], part[3]));
        grid->SetZCoordinates(positions(v.coordinates[2], part[4], part[5]));
    }

    const vox::legacy::array_info& a = v.samples();
    const vtkIdType points = static_cast<vtkIdType>(part[1] - part[0] + 1) *
                             (part[3] - part[2] + 1) * (part[5] - part[4] + 1);
    vtkSmartPointer<vtkDataArray> samples;
    samples.TakeReference(vtkDataArray::CreateDataArray(vtk_type_of(*a.type)));
    samples->SetNumberOfComponents(static_cast<int>(a.components));
    samples->SetNumberOfTuples(points);
    samples->SetName(a.name.c_str());
    vox::view::reading how;
    how.threads =
        this->NumberOfThreads > 0 ? static_cast<unsigned>(this->NumberOfThreads) : smp_threads();
    how.huge_pages = this->HugePages != 0;
    std::string why;
    std::uint64_t read = 0;
    if (auto* bits = vtkBitArray::SafeDownCast(samples)) {
        std::vector<char> values(static_cast<std::size_t>(points) * a.components);
        why = vox::view::read_samples(v, part, values.data(), read, how);
        for (std::size_t i = 0; why.empty() && i < values.size(); ++i) {
            bits->SetValue(static_cast<vtkIdType>(i), values[i]);
        }
    } else {
        why = vox::view::read_samples(v, part, static_cast<char*>(samples->GetVoidPointer(0)), read,
                                      how);
    }
    this->SampleBytesRead += static_cast<vtkIdType>(read);
    if (!why.empty()) {
        vtkErrorMacro(<< why);
        output->Initialize();
        return 0;
    }
    output->GetPointData()->SetScalars(samples);
    return 1;
}
