#include "Jp2TestCodec.h"

#include <QFile>

#include <openjpeg.h>

#include <algorithm>

bool Jp2TestCodec::write(const QString& path, int width, int height,
    const std::vector<Jp2TestComponent>& components, bool codestream, bool lossy)
{
    std::vector<opj_image_cmptparm_t> parameters(components.size());
    bool subsampled = false;
    for (size_t c = 0; c < components.size(); ++c) {
        const Jp2TestComponent& component = components[c];
        opj_image_cmptparm_t& p = parameters[c];
        p = {};
        p.dx = OPJ_UINT32(component.dx);
        p.dy = OPJ_UINT32(component.dy);
        p.w = OPJ_UINT32((width + component.dx - 1) / component.dx);
        p.h = OPJ_UINT32((height + component.dy - 1) / component.dy);
        p.prec = OPJ_UINT32(component.precision);
        p.sgnd = 0;
        if (component.samples.size() != size_t(p.w) * p.h)
            return false;
        subsampled = subsampled || component.dx != 1 || component.dy != 1;
    }
    const int colours = int(std::count_if(
        components.begin(), components.end(), [](const Jp2TestComponent& c) { return !c.alpha; }));
    opj_image_t* image = opj_image_create(OPJ_UINT32(components.size()), parameters.data(),
        colours >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
    if (!image)
        return false;
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = OPJ_UINT32(width);
    image->y1 = OPJ_UINT32(height);
    for (size_t c = 0; c < components.size(); ++c) {
        std::copy(components[c].samples.begin(), components[c].samples.end(), image->comps[c].data);
        image->comps[c].alpha = components[c].alpha ? 1 : 0;
    }

    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = lossy ? 20 : 0; // 0: lossless
    settings.cp_disto_alloc = 1;
    settings.irreversible = lossy ? 1 : 0;
    settings.numresolution = std::clamp(1 + std::min(width, height) / 16, 1, 4);
    settings.tcp_mct = (colours >= 3 && !subsampled) ? 1 : 0;

    opj_codec_t* codec = opj_create_compress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    bool ok = codec && opj_setup_encoder(codec, &settings, image);
    opj_stream_t* stream = nullptr;
    if (ok) {
        stream
            = opj_stream_create_default_file_stream(QFile::encodeName(path).constData(), OPJ_FALSE);
        ok = stream && opj_start_compress(codec, image, stream) && opj_encode(codec, stream)
            && opj_end_compress(codec, stream);
    }
    if (stream)
        opj_stream_destroy(stream);
    if (codec)
        opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok;
}

bool Jp2TestCodec::readWhole(const QString& path, std::vector<Jp2TestComponent>* components)
{
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_JP2);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_stream_t* stream
        = opj_stream_create_default_file_stream(QFile::encodeName(path).constData(), OPJ_TRUE);
    opj_image_t* image = nullptr;
    bool ok = codec && stream && opj_setup_decoder(codec, &parameters)
        && opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image)
        && opj_end_decompress(codec, stream);
    if (ok) {
        components->clear();
        for (OPJ_UINT32 c = 0; c < image->numcomps; ++c) {
            const opj_image_comp_t& comp = image->comps[c];
            Jp2TestComponent out;
            out.precision = int(comp.prec);
            out.dx = int(comp.dx);
            out.dy = int(comp.dy);
            out.alpha = comp.alpha != 0;
            out.samples.assign(comp.data, comp.data + size_t(comp.w) * comp.h);
            components->push_back(std::move(out));
        }
    }
    if (image)
        opj_image_destroy(image);
    if (stream)
        opj_stream_destroy(stream);
    if (codec)
        opj_destroy_codec(codec);
    return ok;
}
