#!/usr/bin/python3
"""Records the camera files of the camera import tests, written by the programs themselves:
OpenCV's file storage (python3-opencv) writes opencv_single.yml, opencv_stereo.yml and
opencv_fisheye.yml, each with the pixel (OpenCV's pixels) that OpenCV projects check_point to in
each camera (one row per camera); COLMAP (Debian's colmap, model_converter) turns colmap_txt/ into colmap_bin/. Run
once; the files are committed."""
import os
import subprocess

import cv2
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = np.array([[0.1, -0.05, 1.2]])
# OpenCV's radial-tangential projection ignores K[0][1] (its calibration leaves it 0); its fisheye
# model takes the skew as alpha = K[0][1] / fx, which its calibration writes into K.
K = np.array([[535.9, 0.0, 342.3], [0.0, 531.2, 235.6], [0.0, 0.0, 1.0]])


def write(name, values):
    fs = cv2.FileStorage(os.path.join(HERE, name), cv2.FILE_STORAGE_WRITE)
    fs.write("image_width", 640)
    fs.write("image_height", 480)
    for key, value in values.items():
        fs.write(key, value)
    fs.write("check_point", CHECK.T)
    fs.write("photos", ["a.jpg", "b.jpg"])  # a list of text, which OpenCV writes as a block
    fs.release()


def pixel(project, rvec, tvec, k, d, **alpha):
    """The pixel of CHECK as a row [u, v]."""
    return project(CHECK.reshape(1, 1, 3), rvec, tvec, k, d, **alpha)[0].reshape(1, 2)


def main():
    d = np.array([[-0.27, 0.11, 0.0018, -0.0003, -0.02, 0.01, 0.005, 0.001]])
    r = np.array([[0.0, -1.0, 0.0], [1.0, 0.0, 0.0], [0.0, 0.0, 1.0]])
    t = np.array([[0.01], [0.02], [0.3]])
    write("opencv_single.yml", {
        "camera_matrix": K, "distortion_coefficients": d, "R": r, "t": t,
        "check_pixel": pixel(cv2.projectPoints, cv2.Rodrigues(r)[0], t, K, d)})

    d1 = np.array([[-0.27, 0.11, 0.0018, -0.0003, -0.02]])
    m2 = np.array([[540.0, 0.0, 330.0], [0.0, 540.0, 240.0], [0.0, 0.0, 1.0]])
    d2 = np.array([[-0.25, 0.09, 0.0, 0.0, 0.0]])
    r = cv2.Rodrigues(np.array([0.0, 0.02, 0.01]))[0]
    t = np.array([[-0.1], [0.0], [0.002]])
    zero = np.zeros((3, 1))
    write("opencv_stereo.yml", {
        "M1": K, "D1": d1, "M2": m2, "D2": d2, "R": r, "T": t,
        "check_pixel": np.vstack([pixel(cv2.projectPoints, zero, zero, K, d1),
                                  pixel(cv2.projectPoints, cv2.Rodrigues(r)[0], t, m2, d2)])})

    k = np.array([[300.0, 0.6, 320.0], [0.0, 302.0, 240.0], [0.0, 0.0, 1.0]])
    d = np.array([[0.05, -0.01, 0.002, -0.0005]])
    rvec = np.array([[0.1], [-0.2], [0.05]])
    t = np.array([[0.0], [0.05], [0.4]])
    write("opencv_fisheye.yml", {
        "K": k, "D": d, "rvec": rvec, "tvec": t,
        "check_pixel": pixel(cv2.fisheye.projectPoints, rvec, t, k, d, alpha=0.6 / 300.0)})

    os.makedirs(os.path.join(HERE, "colmap_bin"), exist_ok=True)
    subprocess.run(["colmap", "model_converter", "--input_path", os.path.join(HERE, "colmap_txt"),
                    "--output_path", os.path.join(HERE, "colmap_bin"), "--output_type", "BIN"],
                   check=True)


if __name__ == "__main__":
    main()
